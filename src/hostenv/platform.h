// The platform services the plug-in's workflows call: profile reading, the
// scripting file-system operations, the wildcard directory listing, the shell,
// message boxes, the module folder, the clock and the regional formats and VB
// conversions. Win32 reaches the real APIs; POSIX reproduces their contracts.
//
// Paths are Windows paths ("C:\img\4711_1042_x.jpg"): the core joins folders
// and names with a backslash, and a POSIX implementation maps them to its own.
//
// Every text is UTF-8 (winrules/utf8.h) and keeps every character: the
// file-system services, the listing, the current directory, the message box
// and the module folder are Unicode, as the scripting runtime and the wide
// APIs are. Only the A functions the plug-in declares (the profile API,
// ShellExecuteA) and the log files see the ANSI code page, as they do in VB.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winrules/vb_types.h"

namespace tavirex {

// Message box styles and answers (the values of VB's MsgBox).
namespace msgbox {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kYesNo = 4;
inline constexpr int kCritical = 16;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace msgbox

// ShellExecute's result codes: greater than kLastFailure is success.
namespace shellexec {
inline constexpr std::intptr_t kFileNotFound = 2;
inline constexpr std::intptr_t kPathNotFound = 3;
inline constexpr std::intptr_t kAccessDenied = 5;
inline constexpr std::intptr_t kOutOfMemory = 8;
inline constexpr std::intptr_t kBadFormat = 11;
inline constexpr std::intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC
inline constexpr std::intptr_t kLastFailure = 32;
}  // namespace shellexec

// The application title a message box carries when none of its own is given.
inline constexpr std::string_view kDefaultAppTitle = "Tavirex";

class Platform {
 public:
  virtual ~Platform() = default;

  // Profile reading: GetPrivateProfileStringA with default "" and a buffer of
  // 255 characters, so at most 254 characters come back. "" means no value.
  // A file name without a folder is looked up in the Windows directory. The
  // names go in, and the value comes back, through the ANSI code page.
  virtual std::string ReadProfileString(const std::string& section, const std::string& key,
                                        const std::string& file) = 0;
  // The file that profile reading takes for `file`, as this program opens it;
  // on POSIX the native path, found whatever the case of its name (the
  // services take such a path unchanged).
  virtual std::string ProfileFilePath(const std::string& file) = 0;
  // A path of the workstation (C:\..., \\server\...) as this program opens
  // it: on POSIX mapped to the folders that stand for the drives.
  virtual std::string NativePath(const std::string& path) = 0;

  // File-system operations with the scripting runtime's contract. Failures
  // throw VbError with the number the file-system object raises.
  virtual bool FolderExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Creates one folder level; 58 when it exists, 76 when the parent is missing.
  virtual void CreateFolder(const std::string& path) = 0;
  // Names of the files directly in the folder, hidden and system files
  // included, in enumeration order; 76 when the folder does not exist.
  virtual std::vector<std::string> FolderFileNames(const std::string& folder) = 0;
  // Copies, replacing an existing destination; 70 when it is read-only. The
  // copy may still lie in the system's cache: see FlushFile.
  virtual void CopyFile(const std::string& source, const std::string& destination) = 0;
  // Returns once the file's bytes and its name are on the disk (on a network
  // share, with the server). A copy is flushed before its source is deleted,
  // so that no image is lost however the machine stops. Windows flushes only
  // through a handle that may write: 70 for a read-only file.
  virtual void FlushFile(const std::string& path) = 0;
  // Deletes without force: 70 for a read-only file, 53 for a missing one.
  virtual void DeleteFile(const std::string& path) = 0;
  // Renames `source` to `destination` in one step, replacing a file there: a
  // reader sees the old file or the new one, never neither.
  virtual void MoveReplacing(const std::string& source, const std::string& destination) = 0;
  // Renames `source` to `destination` in one step without ever replacing a
  // file: 58 when the destination exists, as the scripting runtime's
  // MoveFile. Of two programs moving to one free name at once, one gets 58.
  virtual void MoveFile(const std::string& source, const std::string& destination) = 0;

  // VB's Dir(pattern, vbDirectory): files and sub-folders whose names match
  // the pattern's last component without regard to case (DOS wildcard rules),
  // hidden and system entries skipped, "." and ".." never reported, in the
  // file system's order. Calls `visit` once per name; stops early when it
  // returns false. A missing folder lists nothing.
  virtual void ListDirectory(const std::string& pattern,
                             const std::function<bool(const std::string& name)>& visit) = 0;

  // Appends text to a file, creating it when missing: one open-append-close.
  // The file gets the text in the ANSI code page, the bytes VB's Print #
  // writes ('?' or a look-alike for what the code page lacks).
  virtual void AppendToFile(const std::string& path, std::string_view text) = 0;

  // The folder the plug-in's module (the DLL, or the program) was loaded from,
  // without a trailing backslash.
  virtual std::string ModuleFolder() = 0;

  // A modal message box; returns the answer (msgbox::kOk, kCancel, kYes, kNo).
  // Without a title the box carries kDefaultAppTitle.
  virtual int MessageBox(const std::string& text, int style,
                         const std::optional<std::string>& title) = 0;

  // ShellExecuteA: returns its result code (shellexec). The texts go through
  // the ANSI code page, so a file whose name it lacks is not found.
  virtual std::intptr_t ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                                     const std::string& file, const std::string& parameters,
                                     const std::string& directory, int show_command) = 0;

  // The process's current directory ("WScript.Shell" CurrentDirectory).
  virtual void SetCurrentDirectory(const std::string& folder) = 0;

  // The host's server-connection component: creates the automation class
  // `component_class` (a ProgID or a "{CLSID}") and calls its method `method`
  // with the server name as one string by value. The returned reference keeps
  // the component alive. Throws VbError (429 when the class cannot be created).
  virtual std::shared_ptr<void> ConnectHostServer(const std::string& component_class,
                                                  const std::string& method,
                                                  const std::string& server_name) = 0;

  // Clock and regional formats of the workstation.
  virtual VbDate Now() = 0;
  // CStr of a date: general date ("12/5/2026 4:12:40 PM"; date or time only
  // when the other part is zero).
  virtual std::string FormatGeneralDate(VbDate date) = 0;
  virtual std::string FormatShortDate(VbDate date) = 0;
  // VB's Time as text: the regional long time ("4:12:40 PM").
  virtual std::string FormatTimeOfDay(VbDate date) = 0;
  virtual std::string DateSeparator() = 0;
  // IsDate/CDate of a string under the regional date rules.
  virtual std::optional<VbDate> ParseDate(std::string_view text) = 0;
  // CInt/CLng of a string: locale-aware parse, halves to even; 6 "Overflow",
  // 13 "Type mismatch".
  virtual std::int16_t CIntFromString(std::string_view text) = 0;
  virtual std::int32_t CLngFromString(std::string_view text) = 0;
};

}  // namespace tavirex
