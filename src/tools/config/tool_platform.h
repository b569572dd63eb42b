// The platform services as the configuration tool uses them: every service of
// the workstation's platform, except that the plug-in's message boxes are
// collected for the report instead of shown, and the host's server component
// is never created.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostenv/platform.h"

namespace tavirex::config {

class ToolPlatform final : public Platform {
 public:
  explicit ToolPlatform(Platform& inner) : inner_(inner) {}

  struct Box {
    std::string title;
    std::string text;
  };
  const std::vector<Box>& boxes() const { return boxes_; }

  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& file) override;
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void CreateFolder(const std::string& path) override;
  std::vector<std::string> FolderFileNames(const std::string& folder) override;
  void CopyFile(const std::string& source, const std::string& destination) override;
  void DeleteFile(const std::string& path) override;
  void ListDirectory(const std::string& pattern,
                     const std::function<bool(const std::string& name)>& visit) override;
  void AppendToFile(const std::string& path, std::string_view bytes) override;
  std::string ModuleFolder() override;
  // Collected; answered OK, or No and Cancel where those are offered.
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override;
  // The tool starts nothing and leaves the current directory alone.
  std::intptr_t ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                             const std::string& file, const std::string& parameters,
                             const std::string& directory, int show_command) override;
  void SetCurrentDirectory(const std::string& folder) override;
  std::shared_ptr<void> ConnectHostServer(const std::string& server_name) override;
  VbDate Now() override;
  std::string FormatGeneralDate(VbDate date) override;
  std::string FormatShortDate(VbDate date) override;
  std::string FormatTimeOfDay(VbDate date) override;
  std::string DateSeparator() override;
  std::optional<VbDate> ParseDate(std::string_view text) override;
  std::int16_t CIntFromString(std::string_view text) override;
  std::int32_t CLngFromString(std::string_view text) override;

 private:
  Platform& inner_;
  std::vector<Box> boxes_;
};

}  // namespace tavirex::config
