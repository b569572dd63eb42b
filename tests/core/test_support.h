// A workstation in a temporary folder (the Windows directory with the two INI
// files, the module folder with the logs, drive C) on the POSIX services, and
// the one scripted user every core test plays: it answers the boxes, watches
// the image list window and the cursor, plays the launched programs, keeps
// the clock and the date separator, and can make the k-th copy, flush or
// delete of the disk fail.
#pragma once

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hostenv/forwarding_platform.h"
#include "hostenv/posix/posix_platform.h"
#include "interface/cls_tavirex.h"
#include "review/frm_image_files.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace fs = std::filesystem;
}  // namespace tavirex

namespace tavirex::testing {

using Folder = std::map<std::string, std::string>;  // file name -> bytes

enum class Fault { kNone, kCopyFails, kCopyDiesHalfWay, kFlushFails, kDeleteFails };

// The clock the user's workstation shows: 12/04/2026 4:12:40 PM.
inline VbDate TestNow() { return FromCivil({2026, 12, 4, 16, 12, 40}); }

class User final : public ForwardingPlatform, public ImageListView {
 public:
  explicit User(PosixPlatform& disk) : ForwardingPlatform(disk), disk_(disk) {}

  // Each box as "title|text|style"; the answers are taken in order, and with
  // none left the box is closed (Cancel, No or OK).
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    boxes.push_back(title.value_or(std::string(kDefaultAppTitle)) + "|" + text + "|" +
                    std::to_string(style));
    if (on_box) on_box(boxes.back());
    if (answers.empty()) {
      return (style & 7) == msgbox::kOkCancel ? msgbox::kCancel
             : (style & 7) == msgbox::kYesNo  ? msgbox::kNo
                                              : msgbox::kOk;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  // A launched program or viewer: recorded as "file|parameters|folder".
  std::intptr_t ShellExecute(std::uintptr_t, const std::string&, const std::string& file,
                             const std::string& parameters, const std::string& directory,
                             int) override {
    launched.push_back(file + "|" + parameters + "|" + directory);
    return shell_result;
  }
  VbDate Now() override { return TestNow(); }
  std::string DateSeparator() override { return date_separator; }

  void CopyFile(const std::string& source, const std::string& destination) override {
    if (++copies_ == fault_at && fault == Fault::kCopyFails) throw VbError(vberr::kDiskFull);
    if (copies_ == fault_at && fault == Fault::kCopyDiesHalfWay) {
      std::ifstream in(disk_.ToNativePath(source), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), {});
      std::ofstream(disk_.ToNativePath(destination), std::ios::binary)
          << bytes.substr(0, bytes.size() / 2);
      throw VbError(vberr::kDeviceIoError);
    }
    ForwardingPlatform::CopyFile(source, destination);
  }
  void FlushFile(const std::string& path) override {
    if (++flushes_ == fault_at && fault == Fault::kFlushFails) throw VbError(vberr::kDeviceIoError);
    ForwardingPlatform::FlushFile(path);
  }
  void DeleteFile(const std::string& path) override {
    if (++deletes_ == fault_at && fault == Fault::kDeleteFails) {
      throw VbError(vberr::kPermissionDenied);
    }
    ForwardingPlatform::DeleteFile(path);
  }
  void FailAt(Fault what, int k) {
    fault = what;
    fault_at = k;
    copies_ = flushes_ = deletes_ = 0;
  }

  // The image list window: `at_window` plays the user, then Exit.
  void ShowModal(FrmImageFiles& form) override {
    ++windows_shown;
    if (at_window) at_window(form);
    form.cmdExit_Click();
  }
  void SetWaitCursor(bool wait) override { cursor += wait ? "wait," : "normal,"; }

  std::deque<int> answers;
  std::vector<std::string> boxes;
  std::function<void(const std::string& box)> on_box;
  std::vector<std::string> launched;
  std::intptr_t shell_result = 42;
  std::string date_separator = "/";
  Fault fault = Fault::kNone;
  int fault_at = 0;
  std::function<void(FrmImageFiles&)> at_window;
  int windows_shown = 0;
  std::string cursor;

 private:
  PosixPlatform& disk_;
  int copies_ = 0;
  int flushes_ = 0;
  int deletes_ = 0;
};

class Workstation {
 public:
  Workstation() {
    std::string pattern = (fs::temp_directory_path() / "tavirex-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    fs::create_directories(root_ / "windows");
    fs::create_directories(root_ / "module");
    PosixPlatformOptions options;
    options.windows_dir = (root_ / "windows").string();
    options.module_dir = (root_ / "module").string();
    options.drive_roots['C'] = root_.string();  // "C:\x" is root()/x
    options.interactive = false;
    disk_ = std::make_unique<PosixPlatform>(options);
    user_ = std::make_unique<User>(*disk_);
  }
  // A capture moves the process into the vendor program's folder.
  ~Workstation() {
    fs::current_path(cwd_);
    fs::remove_all(root_);
  }
  Workstation(const Workstation&) = delete;
  Workstation& operator=(const Workstation&) = delete;

  fs::path Path(const std::string& relative) const { return root_ / relative; }
  const fs::path& root() const { return root_; }
  PosixPlatform& platform() { return *disk_; }
  User& user() { return *user_; }
  ImageListView& window() { return *user_; }

  void Write(const std::string& relative, const std::string& bytes) const {
    fs::create_directories(Path(relative).parent_path());
    std::ofstream(Path(relative), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  void WriteHostIni(const std::string& text) const { Write("windows/praxo32.ini", text); }
  void WriteEquipIni(const std::string& text) const { Write("windows/PXEquip.ini", text); }
  std::string Log(const std::string& name) const { return Read("module/" + name); }
  // The files (not folders) directly in a folder.
  Folder Contents(const std::string& relative) const {
    Folder files;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(Path(relative), missing)) {
      if (entry.is_regular_file())
        files[entry.path().filename().string()] =
            Read(relative + "/" + entry.path().filename().string());
    }
    return files;
  }

  // A new module and object, as a host creates them, with the scripted user.
  ClsTavirex& NewObject(const std::string& device = "", const std::string& patient = "47-11") {
    object_.reset();
    module_ = std::make_unique<HostModule>(*user_);
    object_ = std::make_unique<ClsTavirex>(*module_, *user_);
    object_->props().DeviceName = device;
    object_->props().PATIENTID = patient;
    return *object_;
  }

 private:
  fs::path cwd_ = fs::current_path();
  fs::path root_;
  std::unique_ptr<PosixPlatform> disk_;
  std::unique_ptr<User> user_;
  std::unique_ptr<HostModule> module_;
  std::unique_ptr<ClsTavirex> object_;
};

// The VB error number an action raised, 0 for none.
template <typename Action>
int ErrorOf(Action action) {
  try {
    action();
  } catch (const VbError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace tavirex::testing
