// The platform services on Windows: the real profile, file, shell, message-box,
// COM and OLE Automation APIs. The file system and the boxes are reached
// through the wide APIs; the profile API and ShellExecute through their ANSI
// forms, as the plug-in declares them.
#pragma once

#include <string>

#include "hostenv/platform.h"
#include "hostenv/win32/windows_api.h"
#include "winrules/vb_error.h"

namespace tavirex {

// The VB error of a failed system call outside the file operations: 7 when
// out of memory, otherwise the HRESULT as the number with the system's text,
// as VB shows an automation error it has no number for.
VbError VbErrorFromWin32(DWORD error);

// The VB error a late-bound VB caller sees for a failed COM call: the number
// of a VB-style 0x800A0000|n failure, the VB numbers of the standard
// automation failures, otherwise 440 "Automation error". `description`, when
// given, is the one the failing object supplied.
VbError VbErrorFromHresult(HRESULT result, const std::string& description = {});

// The flags of the Windows box for a VB MsgBox style: its buttons and icon,
// and in front of the host.
UINT MessageBoxFlags(int style);

class Win32Platform final : public Platform {
 public:
  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& file) override;
  std::string ProfileFilePath(const std::string& file) override;
  std::string NativePath(const std::string& path) override { return path; }

  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void CreateFolder(const std::string& path) override;
  std::vector<std::string> FolderFileNames(const std::string& folder) override;
  void CopyFile(const std::string& source, const std::string& destination) override;
  void FlushFile(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  void MoveReplacing(const std::string& source, const std::string& destination) override;
  void MoveFile(const std::string& source, const std::string& destination) override;
  void ListDirectory(const std::string& pattern,
                     const std::function<bool(const std::string& name)>& visit) override;
  void AppendToFile(const std::string& path, std::string_view text) override;
  std::string ModuleFolder() override;

  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override;
  std::intptr_t ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                             const std::string& file, const std::string& parameters,
                             const std::string& directory, int show_command) override;
  void SetCurrentDirectory(const std::string& folder) override;
  std::shared_ptr<void> ConnectHostServer(const std::string& component_class,
                                          const std::string& method,
                                          const std::string& server_name) override;

  VbDate Now() override;
  std::string FormatGeneralDate(VbDate date) override;
  std::string FormatShortDate(VbDate date) override;
  std::string FormatTimeOfDay(VbDate date) override;
  std::string DateSeparator() override;
  std::optional<VbDate> ParseDate(std::string_view text) override;
  std::int16_t CIntFromString(std::string_view text) override;
  std::int32_t CLngFromString(std::string_view text) override;
};

}  // namespace tavirex
