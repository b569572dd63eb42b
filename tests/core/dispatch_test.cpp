// DoDeviceFunction: which workflows a device name runs, in which order, and
// what a failure that reaches it leaves behind.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "interface/cls_tavirex.h"
#include "review/frm_image_files.h"
#include "test_support.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;
using testing::ForwardingPlatform;
using testing::Workstation;

// Records the boxes and the list window in the order the user sees them, and
// closes the window at once.
class WatchingUser : public ForwardingPlatform {
 public:
  explicit WatchingUser(Workstation& ws) : ForwardingPlatform(ws.platform()) {
    ws.window().script = [this](FrmImageFiles& form) {
      seen.push_back("window:" + std::to_string(form.grdImageFiles().MaxRows()));
    };
  }

  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    seen.push_back(title.value_or("") + "|" + text);
    return ForwardingPlatform::MessageBox(text, style, title);
  }

  std::vector<std::string> seen;
};

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    std::error_code error;
    cwd_ = fs::current_path(error);  // gone when an earlier test left it in its workstation
    if (error) cwd_ = fs::temp_directory_path();
    ws_.WriteHostIni("[System]\r\nPgmsDir=C:\\Praxo\r\nDataDir=C:\\Praxo\r\n");
    fs::create_directories(ws_.root() / "Praxo");
    Workstation::WriteFile(ws_.root() / "Praxo" / "4711_1_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg",
                           "");
  }

  ClsTavirex& NewObject(Platform& platform, const std::string& device) {
    object_.reset();
    module_ = std::make_unique<HostModule>(platform);
    object_ = std::make_unique<ClsTavirex>(*module_, ws_.window());
    object_->props().DeviceName = device;
    object_->props().PATIENTID = "4711";
    return *object_;
  }

  // Capture moves into the vendor program's folder, which goes with ws_.
  ~DispatchTest() override {
    std::error_code error;
    fs::current_path(cwd_, error);
  }

  fs::path cwd_;
  Workstation ws_;
  std::unique_ptr<HostModule> module_;
  std::unique_ptr<ClsTavirex> object_;
};

const std::string kNoVendorProgram = "Attention|File Not Found";

TEST_F(DispatchTest, TheWordsInTheNameChooseTheWorkflows) {
  struct Case {
    std::string device;
    std::string result;
    std::vector<std::string> seen;
  };
  const std::vector<Case> cases = {
      {"Capture Vessara", "", {kNoVendorProgram}},
      {"Review Vessara", "Was OK", {"window:1"}},
      {"review vessara", "", {}},
      {"CAPTURE Vessara", "", {}},
      {"", "", {}},
      {"Vessara", "", {}},
      {"Review Capture", "Was OK", {kNoVendorProgram, "window:1"}},  // Capture first
      {"xCapturexReviewx", "Was OK", {kNoVendorProgram, "window:1"}},
  };
  for (const Case& c : cases) {
    WatchingUser user(ws_);
    ClsTavirex& object = NewObject(user, c.device);
    object.props().EquipDataPath = "C:\\Praxo";  // for the names outside the catalogue
    EXPECT_EQ(object.DoDeviceFunction(), c.result) << c.device;
    EXPECT_EQ(user.seen, c.seen) << c.device;
  }
  EXPECT_FALSE(fs::exists(ws_.module_dir() / "Tavirex.log"));
}

TEST_F(DispatchTest, FailuresAreLoggedAndReportedAndTheEarlierResultStays) {
  const std::string failure = " DoDeviceFunction, Err Number: 13 Err Description: Type mismatch";
  // A malformed equipment entry fails the lookup inside the Review workflow.
  ws_.WriteEquipIni("[Equipment]\r\nNumber=1\r\n1=x:y:Tavirex:Review Vessara\r\n");
  WatchingUser user(ws_);
  ClsTavirex& review = NewObject(user, "Review Vessara");
  EXPECT_THROW(review.ReviewDevice(), VbError);  // passed on when called directly
  EXPECT_EQ(review.DoDeviceFunction(), "");
  EXPECT_EQ(ws_.Boxes(), std::vector<std::string>{"PXEquipIF TavirexIF Error|PXE_Tavirex IF Error "
                                                  "Num=13  Type mismatch.\r\n" +
                                                  failure + "|16"});
  EXPECT_NE(ws_.ModuleFile("Tavirex.log").find(failure + "\r\n"), std::string::npos);
  EXPECT_NE(ws_.ModuleFile("PX_IF_Tavirex.err").find(" Error in: " + failure + "\r\n"),
            std::string::npos);
  EXPECT_EQ(user.seen.size(), 1u);  // the box; no window

  // A Capture that ran to its end keeps its result when the Review fails: the
  // Review workflow alone looks up the entry of "Capture Capture".
  ws_.WriteEquipIni("[Equipment]\r\nNumber=1\r\n1=x:y:Tavirex:Capture Capture\r\n");
  fs::path bin = ws_.root() / "KSOCTVIEW" / "bin";
  fs::create_directories(bin);
  fs::copy_file(TAVIREX_STANDIN_PROGRAM, bin / "CreatePatient.exe");
  ws_.platform().QueueAnswers({msgbox::kCancel, msgbox::kNo});  // no export, keep the files
  ClsTavirex& both = NewObject(user, "Capture Review");
  both.props().EquipProgPathFName = "C:\\KSOCTVIEW\\bin\\CreatePatient.exe";
  both.props().EquipDataPath = "C:\\drop";
  EXPECT_EQ(both.DoDeviceFunction(), "Was OK");
  const std::vector<std::string> boxes = ws_.Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[1].substr(0, 16), "Tavirex Capture|");
  EXPECT_EQ(boxes[3].substr(boxes[3].size() - failure.size() - 3), failure + "|16");
  EXPECT_TRUE(fs::is_directory(ws_.root() / "drop" / "Data"));
  // The stand-in vendor program runs on its own; let it finish its log.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(bin / "CreatePatient.log") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace
}  // namespace tavirex
