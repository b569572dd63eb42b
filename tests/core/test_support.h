// A workstation in a temporary folder: the Windows directory with the two INI
// files, the module folder with the logs, and POSIX services and an image
// list window whose user is scripted.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "hostenv/forwarding_platform.h"
#include "hostenv/posix/posix_platform.h"
#include "review/frm_image_files.h"

namespace tavirex::testing {

// The user at the image list window: what happens while it is shown is
// scripted, then Exit; the wait cursor is watched.
class WindowUser final : public ImageListView {
 public:
  void ShowModal(FrmImageFiles& form) override {
    ++windows_shown;
    if (script) script(form);
    form.cmdExit_Click();
  }
  void SetWaitCursor(bool wait) override { cursor.push_back(wait); }

  std::function<void(FrmImageFiles&)> script;
  int windows_shown = 0;
  std::vector<bool> cursor;
};

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
  WindowUser& window() { return window_; }

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
  WindowUser window_;
};

// Forwards every service to the POSIX one; a test overrides the few members
// through which it plays the user or a failing disk.
using ForwardingPlatform = tavirex::ForwardingPlatform;

}  // namespace tavirex::testing
