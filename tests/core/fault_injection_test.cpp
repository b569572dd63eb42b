// Captures whose disk fails at every possible step, and two captures into one
// store folder at once: whatever happens, no exported image is lost. The real
// CaptureDevice runs on real folders; the vendor program is a script that
// exits at once, and the user is scripted.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interface/cls_tavirex.h"
#include "test_support.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;
using testing::ForwardingPlatform;
using testing::Workstation;
using Folder = std::map<std::string, std::string>;  // file name -> bytes

enum class Fault { kNone, kCopyFails, kCopyDiesHalfWay, kFlushFails, kDeleteFails };

// A disk whose k-th copy, flush or delete (counting from 1) fails; a copy
// that dies half-way leaves half of the source's bytes at the destination
// first.
class FaultyDisk : public ForwardingPlatform {
 public:
  FaultyDisk(PosixPlatform& disk, Fault fault, int k)
      : ForwardingPlatform(disk), disk_(disk), fault_(fault), k_(k) {}

  void CopyFile(const std::string& source, const std::string& destination) override {
    if (++copies_ == k_ && fault_ == Fault::kCopyFails) throw VbError(vberr::kDiskFull);
    if (copies_ == k_ && fault_ == Fault::kCopyDiesHalfWay) {
      const std::string bytes = Workstation::ReadFile(disk_.ToNativePath(source));
      Workstation::WriteFile(disk_.ToNativePath(destination), bytes.substr(0, bytes.size() / 2));
      throw VbError(vberr::kDeviceIoError);
    }
    ForwardingPlatform::CopyFile(source, destination);
  }
  void FlushFile(const std::string& path) override {
    if (++flushes_ == k_ && fault_ == Fault::kFlushFails) throw VbError(vberr::kDeviceIoError);
    ForwardingPlatform::FlushFile(path);
  }
  void DeleteFile(const std::string& path) override {
    if (++deletes_ == k_ && fault_ == Fault::kDeleteFails) throw VbError(vberr::kPermissionDenied);
    ForwardingPlatform::DeleteFile(path);
  }

 private:
  PosixPlatform& disk_;
  Fault fault_;
  int k_;
  int copies_ = 0;
  int flushes_ = 0;
  int deletes_ = 0;
};

// The user of a concurrent capture: at the waiting box, says it is ready and
// answers only when the test lets every capture go at once.
class GatedUser : public ForwardingPlatform {
 public:
  GatedUser(Platform& inner, int ready_fd, int go_fd)
      : ForwardingPlatform(inner), ready_fd_(ready_fd), go_fd_(go_fd) {}
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    if (title == "Tavirex Capture") {
      char c = 'r';
      if (::write(ready_fd_, &c, 1) != 1 || ::read(go_fd_, &c, 1) != 1) ::_exit(3);
    }
    return ForwardingPlatform::MessageBox(text, style, title);
  }

 private:
  int ready_fd_;
  int go_fd_;
};

// Exported images: the patient's key first, then the vendor's own fields.
Folder Exports(const std::string& tag, int count, std::size_t size) {
  Folder files;
  for (int i = 0; i < count; ++i) {
    std::string bytes(size + static_cast<std::size_t>(i) * 7919, '\0');
    for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<char>(b * (i + 3) + 1);
    bytes += tag;  // the same name never has the same bytes in two folders
    files["4711_Vessara_" + std::to_string(i) + "_a_b_OD_5-31-2016_14-05-0" +
          std::to_string(i % 10) + ".jpg"] = bytes;
  }
  return files;
}

class FaultTest : public ::testing::Test {
 protected:
  FaultTest() {
    ws_.WriteHostIni("[System]\r\nPgmsDir=C:\\Praxo\r\nDataDir=C:\\Praxo\\Data\r\n");
    // Two devices whose Review functions share one store folder.
    ws_.WriteEquipIni(
        "[Equipment]\r\nNumber=4\r\n1=3:a:Tavirex:Capture Vessara\r\n"
        "2=4:b:Tavirex:Capture Corvana\r\n3=5:c:Tavirex:Review Vessara\r\n"
        "4=5:d:Tavirex:Review Corvana\r\n"
        "[3]\r\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\r\nEquipDataPath=C:\\Drop\r\n"
        "[4]\r\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\r\nEquipDataPath=C:\\DropB\r\n"
        "[5]\r\nEquipDataPath=C:\\Store\r\n");
    fs::create_directories(ws_.root() / "Vendor");
    const fs::path program = ws_.root() / "Vendor" / "CreatePatient.exe";
    Workstation::WriteFile(program, "#!/bin/sh\nexit 0\n");
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  }
  // A capture moves the process into the vendor program's folder.
  ~FaultTest() override { fs::current_path(working_directory_); }

  void Reset(const Folder& drop) {
    for (const char* folder : {"Drop", "DropB", "Store"}) fs::remove_all(ws_.root() / folder);
    fs::remove(ws_.module_dir() / "Tavirex.log");
    Fill("Drop", drop);
  }
  void Fill(const std::string& folder, const Folder& files) {
    fs::create_directories(ws_.root() / folder);
    for (const auto& [name, bytes] : files)
      Workstation::WriteFile(ws_.root() / folder / name, bytes);
  }
  Folder Contents(const std::string& folder) {
    Folder contents;
    if (!fs::exists(ws_.root() / folder)) return contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(ws_.root() / folder)) {
      contents[entry.path().filename().string()] = Workstation::ReadFile(entry.path());
    }
    return contents;
  }

  std::string Capture(Platform& disk, const std::string& device, std::int32_t exam) {
    HostModule module(disk);
    ClsTavirex object(module, ws_.window());
    TavirexProperties& p = object.props();
    p.DeviceName = device;
    p.PATIENTID = "47-11";
    p.LastName = "Doe";
    p.FirstName = "Ann";
    p.ExamRecNum = exam;
    return object.CaptureDevice();
  }
  static std::string Stored(const std::string& exported, std::int32_t exam) {
    return exported.substr(0, 5) + std::to_string(exam) + "_" + exported.substr(5);
  }

  // The files exported into one drop folder, and the exam numbers under
  // which an import may have stored them.
  struct Batch {
    const Folder& exported;
    std::string drop;
    std::vector<std::int32_t> exams;
  };

  // Every exported file is whole in its drop folder or in the store folder
  // under one of the exam numbers; a partial stored copy lies only beside its
  // whole source; and the store holds nothing else.
  void ExpectNothingLost(const std::vector<Batch>& batches) {
    Folder store_now = Contents("Store");
    for (const Batch& batch : batches) {
      const Folder drop_now = Contents(batch.drop);
      for (const auto& [name, bytes] : batch.exported) {
        SCOPED_TRACE(batch.drop + "\\" + name);
        auto exported_now = drop_now.find(name);
        const bool in_drop = exported_now != drop_now.end() && exported_now->second == bytes;
        EXPECT_TRUE(in_drop || exported_now == drop_now.end()) << "a damaged export";
        bool stored = false;
        for (std::int32_t exam : batch.exams) {
          auto it = store_now.find(Stored(name, exam));
          if (it == store_now.end()) continue;
          stored = stored || it->second == bytes;
          EXPECT_TRUE(it->second == bytes || in_drop) << "a partial copy without its source";
          store_now.erase(it);
        }
        EXPECT_TRUE(in_drop || stored) << "lost";
      }
    }
    for (const auto& entry : store_now) ADD_FAILURE() << "stray stored file " << entry.first;
  }

  fs::path working_directory_ = fs::current_path();
  Workstation ws_;
};

// Where the listing's i-th file is after the k-th step failed.
enum Where { kMoved, kUntouched, kInBoth, kPartialCopy, kDeleted };

struct FaultCase {
  Fault fault;
  int error;
  const char* description;
  Where failing_file;
};

TEST_F(FaultTest, ImportFailingAtEveryStepLosesNothing) {
  const Folder exported = Exports("", 5, 40000);
  const FaultCase cases[] = {
      {Fault::kCopyFails, 61, "Disk full", kUntouched},
      {Fault::kCopyDiesHalfWay, 57, "Device I/O error", kPartialCopy},
      {Fault::kFlushFails, 57, "Device I/O error", kInBoth},
      {Fault::kDeleteFails, 70, "Permission denied", kInBoth},
  };
  for (const FaultCase& c : cases) {
    for (int k = 1; k <= 5; ++k) {
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(c.fault)) + " at step " +
                   std::to_string(k));
      Reset(exported);
      const std::vector<std::string> listing = ws_.platform().FolderFileNames("C:\\Drop");
      FaultyDisk disk(ws_.platform(), c.fault, k);
      ws_.platform().QueueAnswers({msgbox::kOk});

      EXPECT_EQ(Capture(disk, "Capture Vessara", 1042), "");
      const std::string line = " CaptureDevice, Err Number: " + std::to_string(c.error) +
                               " Err Description: " + c.description + " 6\r\n";
      EXPECT_NE(ws_.ModuleFile("Tavirex.log").find(line), std::string::npos) << line;
      ExpectNothingLost({{exported, "Drop", {1042}}});

      const Folder drop = Contents("Drop");
      const Folder store = Contents("Store");
      for (std::size_t i = 0; i < listing.size(); ++i) {
        const std::string& name = listing[i];
        const std::string& bytes = exported.at(name);
        const Where where = i + 1 < static_cast<std::size_t>(k)    ? kMoved
                            : i + 1 == static_cast<std::size_t>(k) ? c.failing_file
                                                                   : kUntouched;
        EXPECT_EQ(drop.count(name), where == kMoved ? 0u : 1u) << name;
        auto stored = store.find(Stored(name, 1042));
        if (where == kMoved || where == kInBoth) {
          EXPECT_TRUE(stored != store.end() && stored->second == bytes) << name;
        } else if (where == kPartialCopy) {
          EXPECT_TRUE(stored != store.end() && stored->second == bytes.substr(0, bytes.size() / 2));
        } else {
          EXPECT_TRUE(stored == store.end()) << name;
        }
      }
    }
  }
}

TEST_F(FaultTest, ClearingFailingAtEveryStepKeepsTheRestWhole) {
  const Folder exported = Exports("", 5, 1000);
  for (int k = 1; k <= 5; ++k) {
    SCOPED_TRACE("delete " + std::to_string(k) + " fails");
    Reset(exported);
    const std::vector<std::string> listing = ws_.platform().FolderFileNames("C:\\Drop");
    FaultyDisk disk(ws_.platform(), Fault::kDeleteFails, k);
    ws_.platform().QueueAnswers({msgbox::kCancel, msgbox::kYes});

    EXPECT_EQ(Capture(disk, "Capture Vessara", 1042), "");
    EXPECT_NE(ws_.ModuleFile("Tavirex.log")
                  .find(" CaptureDevice, Err Number: 70 Err Description: Permission denied 5\r\n"),
              std::string::npos);
    // The files before the failing one were deleted as asked; the rest are
    // whole, and nothing went to the store.
    const Folder drop = Contents("Drop");
    for (std::size_t i = 0; i < listing.size(); ++i) {
      const bool deleted = i + 1 < static_cast<std::size_t>(k);
      EXPECT_EQ(drop.count(listing[i]), deleted ? 0u : 1u) << listing[i];
      if (!deleted) {
        EXPECT_EQ(drop.at(listing[i]), exported.at(listing[i]));
      }
    }
    EXPECT_TRUE(Contents("Store").empty());
  }
}

TEST_F(FaultTest, WithoutAFaultEverythingIsMovedOrCleared) {
  const Folder exported = Exports("", 5, 1000);
  for (bool clear : {false, true}) {
    Reset(exported);
    FaultyDisk disk(ws_.platform(), Fault::kNone, 0);
    ws_.platform().QueueAnswers(clear ? std::vector<int>{msgbox::kCancel, msgbox::kYes}
                                      : std::vector<int>{msgbox::kOk});
    EXPECT_EQ(Capture(disk, "Capture Vessara", 1042), "Was OK");
    EXPECT_TRUE(Contents("Drop").empty());
    EXPECT_EQ(Contents("Store").size(), clear ? 0u : 5u);
    if (!clear) ExpectNothingLost({{exported, "Drop", {1042}}});
  }
}

// Two captures for one patient with different exam numbers, run by two
// processes at once into one store folder. Two cases a practice can have:
// two devices (each exporting into its own drop folder) whose Review
// functions share the store folder, and two host windows capturing from the
// same device, so from the same drop folder.
TEST_F(FaultTest, TwoCapturesAtOnceIntoOneStoreFolderLoseNothing) {
  struct RaceCase {
    const char* what;
    const char* second_device;
    const char* second_drop;
  } const cases[] = {
      {"two devices, two drop folders", "Capture Corvana", "DropB"},
      {"two windows, one drop folder", "Capture Vessara", "Drop"},
  };
  for (const RaceCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Folder first = Exports("first", 40, 3000);
    const Folder second = Exports("second", 40, 3000);
    const bool shared_drop = std::string(c.second_drop) == "Drop";
    Reset(first);
    if (!shared_drop) Fill(c.second_drop, second);
    fs::create_directories(ws_.root() / "Store");

    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    const std::pair<const char*, std::int32_t> captures[] = {{"Capture Vessara", 1042},
                                                             {c.second_device, 1043}};
    for (const auto& [device, exam] : captures) {
      pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        GatedUser user(ws_.platform(), ready[1], go[0]);
        ws_.platform().QueueAnswers({msgbox::kOk});
        ::_exit(Capture(user, device, exam) == "Was OK" ? 0 : 1);
      }
      children.push_back(pid);
    }
    char signal[2];
    EXPECT_EQ(::read(ready[0], signal, 1) + ::read(ready[0], signal + 1, 1), 2);
    EXPECT_EQ(::write(go[1], "gg", 2), 2);
    std::vector<int> results;
    for (pid_t pid : children) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      results.push_back(WEXITSTATUS(status));
    }
    for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);

    // The drop folders end empty. Sharing one, the import that runs behind
    // stops at a file the other has moved (53), and the other one goes on.
    EXPECT_TRUE(Contents("Drop").empty());
    if (shared_drop) {
      EXPECT_NE(results, (std::vector<int>{1, 1}));
      ExpectNothingLost({{first, "Drop", {1042, 1043}}});
      const std::string log = ws_.ModuleFile("Tavirex.log");
      for (int result : results) {
        if (result != 0) {
          EXPECT_NE(log.find("Err Number: 53 Err Description: File not found 6"), std::string::npos)
              << log;
        }
      }
    } else {
      EXPECT_EQ(results, (std::vector<int>{0, 0}));
      ExpectNothingLost({{first, "Drop", {1042}}, {second, c.second_drop, {1043}}});
      EXPECT_EQ(Contents("Store").size(), first.size() + second.size());
    }
  }
}

}  // namespace
}  // namespace tavirex
