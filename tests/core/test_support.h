// A workstation in a temporary folder: the Windows directory with the two INI
// files, the module folder with the logs, and POSIX services whose user is
// scripted.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "hostenv/posix/posix_platform.h"

namespace tavirex::testing {

class Workstation {
 public:
  Workstation() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavirex-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    std::filesystem::create_directories(windows_dir());
    std::filesystem::create_directories(module_dir());
    PosixPlatformOptions options;
    options.windows_dir = windows_dir().string();
    options.module_dir = module_dir().string();
    options.drive_roots['C'] = root_.string();  // "C:\x" is root()/x
    options.interactive = false;
    platform_ = std::make_unique<PosixPlatform>(options);
  }
  ~Workstation() { std::filesystem::remove_all(root_); }
  Workstation(const Workstation&) = delete;
  Workstation& operator=(const Workstation&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path windows_dir() const { return root_ / "windows"; }
  std::filesystem::path module_dir() const { return root_ / "module"; }
  PosixPlatform& platform() { return *platform_; }

  void WriteHostIni(const std::string& text) { WriteFile(windows_dir() / "praxo32.ini", text); }
  void WriteEquipIni(const std::string& text) { WriteFile(windows_dir() / "PXEquip.ini", text); }
  std::string ModuleFile(const std::string& name) const { return ReadFile(module_dir() / name); }

  static void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  // Titles and texts of the boxes shown so far, as "title|text|style".
  std::vector<std::string> Boxes() const {
    std::vector<std::string> boxes;
    for (const auto& box : platform_->shown_boxes()) {
      boxes.push_back(box.title + "|" + box.text + "|" + std::to_string(box.style));
    }
    return boxes;
  }

 private:
  std::filesystem::path root_;
  std::unique_ptr<PosixPlatform> platform_;
};

// Forwards every service to another platform; a test overrides the few
// members through which it plays the user.
class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& file) override {
    return inner_.ReadProfileString(section, key, file);
  }
  bool FolderExists(const std::string& path) override { return inner_.FolderExists(path); }
  bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
  void CreateFolder(const std::string& path) override { inner_.CreateFolder(path); }
  std::vector<std::string> FolderFileNames(const std::string& folder) override {
    return inner_.FolderFileNames(folder);
  }
  void CopyFile(const std::string& source, const std::string& destination) override {
    inner_.CopyFile(source, destination);
  }
  void DeleteFile(const std::string& path) override { inner_.DeleteFile(path); }
  void ListDirectory(const std::string& pattern,
                     const std::function<bool(const std::string&)>& visit) override {
    inner_.ListDirectory(pattern, visit);
  }
  void AppendToFile(const std::string& path, std::string_view bytes) override {
    inner_.AppendToFile(path, bytes);
  }
  std::string ModuleFolder() override { return inner_.ModuleFolder(); }
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    return inner_.MessageBox(text, style, title);
  }
  std::intptr_t ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                             const std::string& file, const std::string& parameters,
                             const std::string& directory, int show_command) override {
    return inner_.ShellExecute(owner_window, verb, file, parameters, directory, show_command);
  }
  void SetCurrentDirectory(const std::string& folder) override {
    inner_.SetCurrentDirectory(folder);
  }
  std::shared_ptr<void> ConnectHostServer(const std::string& server_name) override {
    return inner_.ConnectHostServer(server_name);
  }
  VbDate Now() override { return inner_.Now(); }
  std::string FormatGeneralDate(VbDate date) override { return inner_.FormatGeneralDate(date); }
  std::string FormatShortDate(VbDate date) override { return inner_.FormatShortDate(date); }
  std::string FormatTimeOfDay(VbDate date) override { return inner_.FormatTimeOfDay(date); }
  std::string DateSeparator() override { return inner_.DateSeparator(); }
  std::optional<VbDate> ParseDate(std::string_view text) override {
    return inner_.ParseDate(text);
  }
  std::int16_t CIntFromString(std::string_view text) override {
    return inner_.CIntFromString(text);
  }
  std::int32_t CLngFromString(std::string_view text) override {
    return inner_.CLngFromString(text);
  }
  void ShowImageListWindow(FrmImageFiles& form) override { inner_.ShowImageListWindow(form); }
  void SetWaitCursor(bool wait) override { inner_.SetWaitCursor(wait); }

 protected:
  Platform& inner_;
};

}  // namespace tavirex::testing
