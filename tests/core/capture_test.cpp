// The capture workflow end to end on real folders: the stand-in vendor program
// is really started, and the user who answers the boxes is scripted.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture/capture_device.h"
#include "hostenv/error_report.h"
#include "interface/cls_tavirex.h"
#include "test_support.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;
using testing::ForwardingPlatform;
using testing::Workstation;

// The user at the waiting box: waits until the technician (the stand-in
// program) has exported its images, then answers as scripted. Can also make
// the k-th copy fail, as a full or failing disk would.
class CaptureUser : public ForwardingPlatform {
 public:
  CaptureUser(Workstation& ws) : ForwardingPlatform(ws.platform()), ws_(ws) {}

  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    if (title == "Tavirex Capture" && wait_for_exports_ > 0) {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (CountFiles(export_folder_) < wait_for_exports_ &&
             std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    return ForwardingPlatform::MessageBox(text, style, title);
  }
  void CopyFile(const std::string& source, const std::string& destination) override {
    if (++copies_ == fail_copy_) throw VbError(vberr::kDiskFull);
    ForwardingPlatform::CopyFile(source, destination);
  }

  static int CountFiles(const fs::path& folder) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      count += entry.is_regular_file() && entry.path().extension() != ".part";
    }
    return count;
  }

  Workstation& ws_;
  fs::path export_folder_;
  int wait_for_exports_ = 0;
  int fail_copy_ = 0;
  int copies_ = 0;
};

class CaptureTest : public ::testing::Test {
 protected:
  CaptureTest() : user_(ws_) {
    ws_.WriteHostIni("[System]\r\nPgmsDir=C:\\Praxo\r\nDataDir=C:\\Praxo\\Data\r\n");
    fs::create_directories(ws_.root() / "Praxo");
  }
  // Capture moves the whole process into the vendor program's folder.
  ~CaptureTest() override { fs::current_path(working_directory_); }

  // Puts the stand-in program where Capture looks for the vendor's, exporting
  // `images` files into `drop` (a folder under the workstation root).
  void InstallVendorProgram(const std::string& drop, int images = 3) {
    fs::path bin = ws_.root() / "KSOCTVIEW" / "bin";
    fs::create_directories(bin);
    // The program of an earlier capture may still run: writing over it would
    // fail (ETXTBSY), replacing its directory entry does not.
    fs::remove(bin / "CreatePatient.exe");
    fs::copy_file(TAVIREX_STANDIN_PROGRAM, bin / "CreatePatient.exe");
    Workstation::WriteFile(
        bin / "CreatePatient.cfg",
        "DropFolder=" + (ws_.root() / drop).string() + "\nImages=" + std::to_string(images) + "\n");
    user_.export_folder_ = ws_.root() / drop;
    user_.wait_for_exports_ = images;
  }
  std::string VendorLog() {
    return Workstation::ReadFile(ws_.root() / "KSOCTVIEW/bin/CreatePatient.log");
  }

  ClsTavirex& NewObject(const std::string& device) {
    module_ = std::make_unique<HostModule>(user_);
    object_ = std::make_unique<ClsTavirex>(*module_, ws_.window());
    auto& p = object_->props();
    p.DeviceName = device;
    p.PATIENTID = "47-11";
    p.LastName = "Doe";
    p.FirstName = "Ann";
    p.Gender = "F";
    p.DateOfBirth = "01/02/1960";
    p.ExamRecNum = 1042;
    return *object_;
  }
  std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path working_directory_ = fs::current_path();
  Workstation ws_;
  CaptureUser user_;
  std::unique_ptr<HostModule> module_;
  std::unique_ptr<ClsTavirex> object_;
};

TEST_F(CaptureTest, UnconfiguredDeviceUsesTheDefaultsAndImportsOnOk) {
  InstallVendorProgram("Praxo");
  ws_.platform().QueueAnswers({msgbox::kOk});
  ClsTavirex& object = NewObject("Capture Vessara");
  EXPECT_EQ(object.CaptureDevice(), "Was OK");

  EXPECT_EQ(object.props().EquipProgPathFName, kDefaultVendorProgram);
  EXPECT_EQ(object.props().EquipDataPath, "C:\\Praxo");
  EXPECT_EQ(ws_.Boxes(),
            std::vector<std::string>{"Tavirex Capture|Waiting for Technician  -  Place files in "
                                     "C:\\Praxo|1"});
  std::vector<std::string> stored = Names(ws_.root() / "Praxo" / "Data");
  ASSERT_EQ(stored.size(), 3u);
  for (const std::string& name : stored) EXPECT_EQ(name.rfind("4711_1042_Vessara_", 0), 0u) << name;
  EXPECT_EQ(Names(ws_.root() / "Praxo"), std::vector<std::string>{"Data"});

  // The vendor program got the nine parameters, and ran in its own folder.
  std::string log = VendorLog();
  EXPECT_NE(log.find("cwd=" + (ws_.root() / "KSOCTVIEW" / "bin").string()), std::string::npos);
  EXPECT_NE(log.find("argc=9\narg1=4711\narg2=Doe\narg3=Ann\narg4=n/a\narg5=F\narg6=01/02/1960\n"
                     "arg7=n/a\narg8="),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("arg9=1\n"), std::string::npos);
}

TEST_F(CaptureTest, ConfiguredFoldersAndTheReviewTwinsStoreFolder) {
  ws_.WriteEquipIni(
      "[Equipment]\r\nNumber=2\r\n1=5:x:Tavirex:Capture Corvana\r\n2=6:y:Tavirex:Review Corvana\r\n"
      "[5]\r\nEquipProgPathFName=C:\\KSOCTVIEW\\bin\\CreatePatient.exe\r\n"
      "EquipDataPath=C:\\Export\r\n[6]\r\nEquipDataPath=C:\\Store\r\n");
  fs::create_directories(ws_.root() / "Store");
  InstallVendorProgram("Export", 2);
  ws_.platform().QueueAnswers({msgbox::kOk});
  ClsTavirex& object = NewObject("Capture Corvana");
  EXPECT_EQ(object.CaptureDevice(), "Was OK");
  EXPECT_EQ(object.props().EquipDataPath, "C:\\Export");
  EXPECT_EQ(Names(ws_.root() / "Store").size(), 2u);
  EXPECT_TRUE(Names(ws_.root() / "Export").empty());  // no "Data" made there either
}

TEST_F(CaptureTest, CancelThenNoKeepsAndCancelThenYesClears) {
  fs::create_directories(ws_.root() / "Praxo" / "sub");
  for (auto [answer, left] : {std::pair{msgbox::kNo, 3u}, std::pair{msgbox::kYes, 1u}}) {
    for (const auto& entry : fs::directory_iterator(ws_.root() / "Praxo")) {
      if (entry.is_regular_file()) fs::remove(entry.path());
    }
    InstallVendorProgram("Praxo", 2);
    ws_.platform().QueueAnswers({msgbox::kCancel, answer});
    ClsTavirex& object = NewObject("Capture iPedra");
    EXPECT_EQ(object.CaptureDevice(), "Was OK");
    EXPECT_EQ(ws_.Boxes().back(), "Attention|Do you want to delete current files?|4");
    // The "Data" store folder and the sub-folder are never touched.
    EXPECT_EQ(Names(ws_.root() / "Praxo").size(), left + 1) << answer;
    EXPECT_TRUE(Names(ws_.root() / "Praxo" / "Data").empty());
  }
}

TEST_F(CaptureTest, MissingProgramShowsOneBoxAfterTheFolders) {
  ws_.platform().QueueAnswers({msgbox::kOk});
  ClsTavirex& object = NewObject("Capture iScopa");
  EXPECT_EQ(object.CaptureDevice(), "");
  EXPECT_EQ(ws_.Boxes(), std::vector<std::string>{"Attention|File Not Found|0"});
  EXPECT_TRUE(fs::is_directory(ws_.root() / "Praxo" / "Data"));
  EXPECT_FALSE(fs::exists(ws_.module_dir() / "Tavirex.log"));
}

TEST_F(CaptureTest, OkWithAnEmptyDropFolder) {
  InstallVendorProgram("Praxo", 0);
  ws_.platform().QueueAnswers({msgbox::kOk});
  EXPECT_EQ(NewObject("Capture iPicta").CaptureDevice(), "Was OK");
  EXPECT_TRUE(Names(ws_.root() / "Praxo" / "Data").empty());
}

TEST_F(CaptureTest, FailureAtTheThirdOfFiveFilesKeepsEveryFile) {
  InstallVendorProgram("Praxo", 5);
  user_.fail_copy_ = 3;
  ws_.platform().QueueAnswers({msgbox::kOk});
  EXPECT_EQ(NewObject("Capture iVitara").CaptureDevice(), "");
  EXPECT_EQ(Names(ws_.root() / "Praxo" / "Data").size(), 2u);
  EXPECT_EQ(Names(ws_.root() / "Praxo").size(), 3u + 1u);
  const std::string line = " CaptureDevice, Err Number: 61 Err Description: Disk full 6";
  EXPECT_NE(ws_.ModuleFile("Tavirex.log").find(line + "\r\n"), std::string::npos);
  EXPECT_NE(ws_.ModuleFile("PX_IF_Tavirex.err").find(" Error in: " + line), std::string::npos);
  EXPECT_EQ(ws_.Boxes().back(),
            "PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=61  Disk full.\r\n" + line + "|16");
}

TEST_F(CaptureTest, EmptyDropFolderPathFailsAtCheckpointOne) {
  ws_.WriteHostIni("[System]\r\nDataDir=C:\\D\r\n");
  ws_.platform().QueueAnswers({msgbox::kOk, msgbox::kOk});
  ClsTavirex& object = NewObject("Capture iBlendo");
  EXPECT_EQ(object.CaptureDevice(), "");
  std::string log = ws_.ModuleFile("Tavirex.log");
  EXPECT_NE(log.find(" CaptureDevice, Err Number: 76 Err Description: Path not found 1\r\n"),
            std::string::npos)
      << log;

  // When the log itself cannot be written, the failure reaches the caller.
  fs::remove_all(ws_.module_dir());
  EXPECT_THROW(object.CaptureDevice(), VbError);
}

TEST(VendorParameters, QuotingAndThePatientKey) {
  TavirexProperties p;
  p.PATIENTID = "12-3456-789";
  p.LastName = "Doe";
  p.FirstName = "Ann";
  p.Gender = "F";
  p.DateOfBirth = "01/02/1960";
  EXPECT_EQ(BuildVendorParameters(p, "12/04/2026"),
            "\"123456789\" \"Doe\" \"Ann\" \"n/a\" F 01/02/1960 \"n/a\" 12/04/2026 1");
  p.PATIENTID = "1234-5678-9012-3456-78";
  p.MiddleName = " ";
  p.LastName = "O\"Neil";
  EXPECT_EQ(BuildVendorParameters(p, "x"),
            "\"1234567890123456\" \"O\"Neil\" \"Ann\" \" \" F 01/02/1960 \"n/a\" x 1");
  // 16 characters as VB counts them: UTF-16 units; the emoji's pair would be
  // cut after 15 and is left out whole.
  EXPECT_EQ(MakePatID("Zoë-Ω東京-łódź-12345😀"), "ZoëΩ東京łódź12345");
  EXPECT_EQ(ProgramFolder("C:\\KSOCTVIEW\\bin\\CreatePatient.exe"), "C:\\KSOCTVIEW\\bin\\");
  EXPECT_EQ(ProgramFolder("CreatePatient.exe"), "");
}

}  // namespace
}  // namespace tavirex
