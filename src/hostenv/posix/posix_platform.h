// The platform services on POSIX: the Windows contracts reproduced on the
// local file system, a terminal (or scripted) user, fork/exec and xdg-open.
// Windows paths map onto the file system through configurable drive roots.
// Names are bytes here and the plug-in's UTF-8 passes as it is; the profile
// files and the logs are Windows-1252, the ANSI code page of a Western
// workstation.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostenv/platform.h"

namespace tavirex {

struct PosixPlatformOptions {
  // Where INI files named without a folder are looked up; default the mapped
  // "C:\windows".
  std::string windows_dir;
  // ModuleFolder(); default the folder of the running program.
  std::string module_dir;
  // 'C' -> "/some/dir": where "C:\..." paths live; "/" for letters not given.
  std::map<char, std::string> drive_roots;
  // With no scripted answer left, ask on the terminal when stdin is one;
  // otherwise a box is answered Cancel, No or OK.
  bool interactive = true;
  // Scripted answers, consumed one per box before the user is asked.
  std::vector<int> message_box_answers;
};

class PosixPlatform final : public Platform {
 public:
  explicit PosixPlatform(PosixPlatformOptions options);

  // TAVIREX_WINDOWS_DIR, TAVIREX_MODULE_DIR, TAVIREX_DRIVE_C (any letter A-Z),
  // TAVIREX_MSGBOX_ANSWERS ("1,2,6").
  static PosixPlatformOptions OptionsFromEnvironment();

  // "C:\KSOCTVIEW\bin\x.exe" -> drive root of C + "/KSOCTVIEW/bin/x.exe";
  // backslashes become '/', relative paths stay relative.
  std::string ToNativePath(const std::string& windows_path) const;

  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& file) override;
  std::string ProfileFilePath(const std::string& file) override;
  std::string NativePath(const std::string& path) override { return ToNativePath(path); }
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

 private:
  int AskUser(const std::string& text, int style, const std::string& title) const;

  PosixPlatformOptions options_;
  std::deque<int> answers_;  // the scripted ones left
};

}  // namespace tavirex
