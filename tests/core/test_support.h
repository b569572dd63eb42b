// A workstation in a temporary folder on the POSIX services, and the one
// scripted user of every core test: it answers and records the boxes, watches
// the window and the cursor, plays the launched programs, records the server
// connections, shows its own clock and date separator, and can make the k-th
// copy, flush or delete fail.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "error_of.h"
#include "hostenv/forwarding_platform.h"
#include "hostenv/posix/posix_platform.h"
#include "plugin/cls_tavirex.h"
#include "plugin/frm_image_files.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace fs = std::filesystem;
using Boxes = std::vector<std::string>;
using Folder = std::map<std::string, std::string>;  // file name -> bytes
}  // namespace tavirex

namespace tavirex::testing {

enum class Fault { kNone, kCopyFails, kCopyDiesHalfWay, kFlushFails, kDeleteFails };
inline const std::string kStamp = "\r\n12-04-2026  4:12:40 PM";  // the log stamp of Now()
inline const std::string kNoIni = "|Unable to find or read the praxo32.ini file.|16\n";  // a box

class User final : public ForwardingPlatform, public ImageListView {
 public:
  explicit User(PosixPlatform& disk) : ForwardingPlatform(disk), disk_(disk) {}

  // Records "title|text|style" and gives the next answer.
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    boxes.push_back(title.value_or(std::string(kDefaultAppTitle)) + "|" + text + "|" +
                    std::to_string(style));
    if (on_box) on_box(boxes.back());
    const char key = answers.empty() ? '-' : answers[0];  // '-': the box is closed
    if (!answers.empty()) answers.erase(0, 1);
    return key == 'O'                         ? msgbox::kOk
           : key == 'C'                       ? msgbox::kCancel
           : key == 'Y'                       ? msgbox::kYes
           : key == 'N'                       ? msgbox::kNo
           : (style & 7) == msgbox::kOkCancel ? msgbox::kCancel
           : (style & 7) == msgbox::kYesNo    ? msgbox::kNo
                                              : msgbox::kOk;
  }
  std::intptr_t ShellExecute(std::uintptr_t, const std::string& verb, const std::string& file,
                             const std::string& parameters, const std::string& folder,
                             int show) override {
    launched.push_back(verb + " " + file + "|" + parameters + "|" + folder + "|" +
                       std::to_string(show));
    return shell_result;
  }
  std::shared_ptr<void> ConnectHostServer(const std::string& component, const std::string& method,
                                          const std::string& server) override {
    auto connection = ForwardingPlatform::ConnectHostServer(component, method, server);
    connected.push_back(component + "|" + method + "|" + server);
    return connection;
  }
  VbDate Now() override { return FromCivil({2026, 12, 4, 16, 12, 40}); }
  std::string DateSeparator() override { return date_separator; }
  void CopyFile(const std::string& source, const std::string& destination) override {
    if (Fails(copies_, Fault::kCopyFails)) throw VbError(vberr::kDiskFull);
    if (copies_ == fault_at && fault == Fault::kCopyDiesHalfWay) {
      std::ifstream in(disk_.ToNativePath(source), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), {});
      std::ofstream(disk_.ToNativePath(destination)) << bytes.substr(0, bytes.size() / 2);
      throw VbError(vberr::kDeviceIoError);
    }
    ForwardingPlatform::CopyFile(source, destination);
  }
  void FlushFile(const std::string& path) override {
    if (Fails(flushes_, Fault::kFlushFails)) throw VbError(vberr::kDeviceIoError);
    ForwardingPlatform::FlushFile(path);
  }
  void DeleteFile(const std::string& path) override {
    if (Fails(deletes_, Fault::kDeleteFails)) throw VbError(vberr::kPermissionDenied);
    ForwardingPlatform::DeleteFile(path);
  }
  std::string Shown() const {  // the boxes, one a line
    std::string shown;
    for (const std::string& box : boxes) shown += box + "\n";
    return shown;
  }
  // The image list window: `at_window` plays the user, then Exit.
  void ShowModal(FrmImageFiles& form) override {
    ++windows_shown;
    if (at_window) at_window(form);
    form.cmdExit_Click();
  }
  void SetWaitCursor(bool wait) override { cursor += wait ? "wait," : "normal,"; }

  std::string answers;  // the next answers: O(k), C(ancel), Y(es), N(o)
  Boxes boxes;
  std::function<void(const std::string& box)> on_box;
  Boxes launched;   // "verb file|parameters|folder|show"
  Boxes connected;  // "class|method|server" of each server connection made
  std::intptr_t shell_result = 42;
  std::string date_separator = "/";
  Fault fault = Fault::kNone;
  int fault_at = 0;  // the k-th call of the failing kind, from 1
  std::function<void(FrmImageFiles&)> at_window;
  int windows_shown = 0;
  std::string cursor;

 private:
  bool Fails(int& calls, Fault kind) { return ++calls == fault_at && fault == kind; }
  PosixPlatform& disk_;
  int copies_ = 0, flushes_ = 0, deletes_ = 0;
};

// The box of a failure: "Num  Description" and where it happened.
inline std::string ErrorBox(const std::string& error, const std::string& where) {
  return "PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=" + error + ".\r\n" + where + "|16\n";
}

// The cells of row `row` (col 0), or of column `col` (row 0), joined by "|".
inline std::string Cells(const ImageGrid& grid, std::int32_t row, std::int32_t col = 0) {
  std::string text;
  for (std::int32_t i = 1; i <= (col ? grid.MaxRows() : grid.MaxCols()); ++i) {
    text += (i > 1 ? "|" : "") + (col ? grid.CellText(col, i) : grid.CellText(i, row));
  }
  return text;
}

class Workstation {
 public:
  Workstation() {
    std::string pattern = (fs::temp_directory_path() / "tavirex-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    PosixPlatformOptions options;
    options.windows_dir = Path("windows").string();
    options.module_dir = Path("module").string();
    options.drive_roots['C'] = root_.string();  // "C:\x" is root()/x
    options.interactive = false;
    fs::create_directories(options.windows_dir), fs::create_directories(options.module_dir);
    disk_ = std::make_unique<PosixPlatform>(options);
    user_ = std::make_unique<User>(*disk_);
  }
  ~Workstation() {
    fs::current_path(cwd_);  // a capture moves into the vendor program's folder
    fs::remove_all(root_);
  }

  fs::path Path(const std::string& relative) const { return root_ / relative; }
  const fs::path& root() const { return root_; }
  PosixPlatform& platform() { return *disk_; }
  User& user() { return *user_; }
  ImageListView& window() { return *user_; }

  void Write(const std::string& relative, const std::string& bytes,
             fs::perms perms = fs::perms::unknown) const {
    fs::create_directories(Path(relative).parent_path());
    std::ofstream(Path(relative), std::ios::binary) << bytes;
    if (perms != fs::perms::unknown) fs::permissions(Path(relative), perms);
  }
  std::string Read(const std::string& relative) const {
    std::ostringstream bytes;
    bytes << std::ifstream(Path(relative), std::ios::binary).rdbuf();
    return bytes.str();
  }
  void WriteHostIni(const std::string& text) const { Write("windows/praxo32.ini", text); }
  void WriteEquipIni(const std::string& text) const { Write("windows/PXEquip.ini", text); }
  std::string Log(const std::string& name) const { return Read("module/" + name); }
  Folder Contents(const std::string& relative) const {  // the files directly in it
    Folder files;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(Path(relative), missing)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file()) files[name] = Read(relative + "/" + name);
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

}  // namespace tavirex::testing

namespace tavirex {
using testing::Cells;
using testing::ErrorBox;
using testing::ErrorOf;
using testing::Fault;
using testing::kNoIni;
using testing::kStamp;
using testing::Workstation;
}  // namespace tavirex
