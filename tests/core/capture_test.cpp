// The capture workflow on real folders, with the vendor program played by the
// scripted user, and DoDeviceFunction's choice of workflows.
#include <gtest/gtest.h>

#include "capture/capture_device.h"
#include "test_support.h"

namespace tavirex {
namespace {

using testing::Workstation;
using Boxes = std::vector<std::string>;

const std::string kWaiting = "Tavirex Capture|Waiting for Technician  -  Place files in ";
const std::string kDelete = "Attention|Do you want to delete current files?|4";
const std::string kNoProgram = "Attention|File Not Found|0";
const std::string kDefaultProgram = "C:\\KSOCTVIEW\\bin\\CreatePatient.exe";
const std::string kParameters = R"("4711" "Doe" "Ann" "n/a" F 01/02/1960 "n/a" 12)";
const std::string kVessara =
    kDefaultProgram + "|" + kParameters + "/04/2026 1|C:\\KSOCTVIEW\\bin\\";
const std::string kTwins =
    "[Equipment]\nNumber=2\n1=5:x:Tavirex:Capture Corvana\n2=6:y:Tavirex:Review Corvana\n"
    "[5]\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\nEquipDataPath=C:\\Export\n";

enum Outcome { kMoved, kKept, kDeleted };

struct CaptureCase {
  std::string device;
  std::string equip_ini;
  std::vector<int> answers;
  std::string separator;  // the workstation's date separator
  std::string result;
  Boxes boxes;
  std::string launched;  // program|parameters|folder
  std::string drop;      // where the exports lie
  std::string store;     // made before the program is looked for
  Outcome outcome;
  std::string cwd;  // the working folder afterwards; "" for unchanged
};

const std::vector<CaptureCase> kCaptures = {
    {"Capture Vessara",
     "",
     {msgbox::kOk},
     "/",
     "Was OK",
     {kWaiting + "C:\\Praxo|1"},
     kVessara,
     "Praxo",
     "Praxo/Data",
     kMoved,
     "KSOCTVIEW/bin"},
    {"Capture Corvana",
     kTwins + "[6]\nEquipDataPath=C:\\Store\n",
     {msgbox::kOk},
     ".",
     "Was OK",
     {kWaiting + "C:\\Export|1"},
     "C:\\Vendor\\CreatePatient.exe|" + kParameters + ".04.2026 1|C:\\Vendor\\",
     "Export",
     "Store",
     kMoved,
     "Vendor"},
    {"Capture Corvana",
     kTwins,
     {msgbox::kOk},
     "-",
     "Was OK",
     {kWaiting + "C:\\Export|1"},
     "C:\\Vendor\\CreatePatient.exe|" + kParameters + "-04-2026 1|C:\\Vendor\\",
     "Export",
     "Export/Data",
     kMoved,
     "Vendor"},
    {"Capture iPedra",
     "",
     {msgbox::kCancel, msgbox::kNo},
     "/",
     "Was OK",
     {kWaiting + "C:\\Praxo|1", kDelete},
     kVessara,
     "Praxo",
     "Praxo/Data",
     kKept,
     "KSOCTVIEW/bin"},
    {"Capture iPedra",
     "",
     {msgbox::kCancel, msgbox::kYes},
     "/",
     "Was OK",
     {kWaiting + "C:\\Praxo|1", kDelete},
     kVessara,
     "Praxo",
     "Praxo/Data",
     kDeleted,
     "KSOCTVIEW/bin"},
    {"Capture Corvana",
     "[Equipment]\nNumber=1\n1=5:x:Tavirex:Capture Corvana\n[5]\n"
     "EquipProgPathFName=C:\\None\\x.exe\nEquipDataPath=C:\\Export\n",
     {},
     "/",
     "",
     {kNoProgram},
     "",
     "Export",
     "Export/Data",
     kKept,
     ""},
};

TEST(Capture, SettingsBoxesParametersAndFolders) {
  for (const CaptureCase& c : kCaptures) {
    SCOPED_TRACE(c.device + " " + c.equip_ini);
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\Praxo\\Data\n");
    ws.WriteEquipIni(c.equip_ini);
    for (const char* program : {"KSOCTVIEW/bin/CreatePatient.exe", "Vendor/CreatePatient.exe"}) {
      ws.Write(program, "MZ");
    }
    const testing::Folder exported = {{"4711_Vessara_1.jpg", "one"}, {"P_2.jpg", "two"}};
    const testing::Folder stored = {{"4711_1042_Vessara_1.jpg", "one"}, {"P_1042_2.jpg", "two"}};
    const testing::Folder none;
    for (const auto& [name, bytes] : exported) ws.Write(c.drop + "/" + name, bytes);
    fs::create_directories(ws.Path(c.drop + "/sub"));
    ClsTavirex& object = ws.NewObject(c.device);
    TavirexProperties& p = object.props();
    std::tie(p.LastName, p.FirstName, p.Gender, p.DateOfBirth, p.ExamRecNum) =
        std::make_tuple("Doe", "Ann", "F", "01/02/1960", 1042);
    ws.user().answers.assign(c.answers.begin(), c.answers.end());
    ws.user().date_separator = c.separator;
    const fs::path cwd = fs::current_path();

    EXPECT_EQ(object.CaptureDevice(), c.result);
    EXPECT_EQ(ws.user().boxes, c.boxes);
    EXPECT_EQ(ws.user().launched, c.launched.empty() ? Boxes{} : Boxes{c.launched});
    EXPECT_EQ(fs::current_path(), c.cwd.empty() ? cwd : ws.Path(c.cwd));
    EXPECT_TRUE(fs::is_directory(ws.Path(c.store)));
    EXPECT_EQ(ws.Contents(c.drop), c.outcome == kKept ? exported : none);
    EXPECT_TRUE(fs::is_directory(ws.Path(c.drop + "/sub")));  // sub-folders stay
    for (const char* store : {"Praxo/Data", "Store", "Export/Data"}) {
      EXPECT_EQ(ws.Contents(store), (store == c.store && c.outcome == kMoved ? stored : none))
          << store;
    }
    EXPECT_EQ(ws.Log("Tavirex.log"), "");
  }
}

// A failure is logged with the step it happened in, and shown.
TEST(Capture, FailureLineCarriesTheCheckpoint) {
  Workstation ws;
  ws.WriteHostIni("[System]\nDataDir=C:\\D\n");  // no folder to drop into
  ClsTavirex& object = ws.NewObject("Capture iBlendo");
  ws.user().boxes.clear();
  EXPECT_EQ(object.CaptureDevice(), "");
  const std::string line = " CaptureDevice, Err Number: 76 Err Description: Path not found 1";
  EXPECT_EQ(ws.Log("Tavirex.log"), "\r\n12-04-2026  4:12:40 PM" + line + "\r\n");
  EXPECT_NE(ws.Log("PX_IF_Tavirex.err").find(" Error in: " + line + "\r\n"), std::string::npos);
  EXPECT_EQ(ws.user().boxes, Boxes{"PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=76  Path "
                                   "not found.\r\n" +
                                   line + "|16"});
  fs::remove_all(ws.Path("module"));  // when the log cannot be written, the caller hears
  EXPECT_NE(testing::ErrorOf([&] { object.CaptureDevice(); }), 0);
}

TEST(Capture, VendorParameters) {
  struct Case {
    std::string patient, last, middle;
    std::string parameters;
  } const cases[] = {
      {"12-3456-789", "Doe", "", R"("123456789" "Doe" "Ann" "n/a" F 01/02/1960 "n/a" D 1)"},
      {"1234-5678-9012-3456-78", "O\"Neil", " ",
       R"("1234567890123456" "O"Neil" "Ann" " " F 01/02/1960 "n/a" D 1)"},
      // 16 UTF-16 units; the emoji's pair would be cut and is left out whole.
      {"Zoë-Ω東京-łódź-12345😀", "Doe", "M",
       R"("ZoëΩ東京łódź12345" "Doe" "Ann" "M" F 01/02/1960 "n/a" D 1)"},
  };
  for (const Case& c : cases) {
    TavirexProperties p;
    std::tie(p.PATIENTID, p.LastName, p.FirstName, p.MiddleName, p.Gender, p.DateOfBirth) =
        std::make_tuple(c.patient, c.last, "Ann", c.middle, "F", "01/02/1960");
    EXPECT_EQ(BuildVendorParameters(p, "D"), c.parameters);
  }
}

// Which workflows a device name runs, in which order; a failure reaching
// DoDeviceFunction is logged and shown, and an earlier result stays.
TEST(Capture, DoDeviceFunction) {
  const std::string failure = " DoDeviceFunction, Err Number: 13 Err Description: Type mismatch";
  const std::string failure_box =
      "PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=13  Type mismatch.\r\n" + failure + "|16";
  struct Case {
    std::string device;
    std::string entry;  // of the equipment list
    std::string result;
    Boxes seen;
  } const cases[] = {
      {"Capture Vessara", "", "", {kNoProgram}},
      {"Review Vessara", "", "Was OK", {"window"}},
      {"review vessara", "", "", {}},
      {"CAPTURE Vessara", "", "", {}},
      {"Vessara", "", "", {}},
      {"Review Capture", "", "Was OK", {kNoProgram, "window"}},
      {"xCapturexReviewx", "", "Was OK", {kNoProgram, "window"}},
      {"Review Vessara", "x:y:Tavirex:Review Vessara", "", {failure_box}},
      // Only Review looks up "Capture Capture".
      {"Capture Review",
       "x:y:Tavirex:Capture Capture",
       "Was OK",
       {kWaiting + "C:\\drop|1", kDelete, failure_box}},
  };
  for (const Case& c : cases) {
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\D\n");
    ws.WriteEquipIni("[Equipment]\nNumber=1\n1=" + c.entry + "\n");
    ws.Write("p.exe", "MZ");
    ClsTavirex& object = ws.NewObject(c.device);
    object.props().EquipDataPath = "C:\\drop";  // for the names outside the catalogue
    if (!c.entry.empty()) object.props().EquipProgPathFName = "C:\\p.exe";
    ws.user().at_window = [&](FrmImageFiles&) { ws.user().boxes.push_back("window"); };
    EXPECT_EQ(object.DoDeviceFunction(), c.result) << c.device;
    EXPECT_EQ(ws.user().boxes, c.seen) << c.device;
    if (!c.entry.empty()) {
      EXPECT_EQ(ws.Log("Tavirex.log"), "\r\n12-04-2026  4:12:40 PM" + failure + "\r\n");
      EXPECT_NE(ws.Log("PX_IF_Tavirex.err").find(" Error in: " + failure + "\r\n"),
                std::string::npos);
      EXPECT_EQ(testing::ErrorOf([&] { object.ReviewDevice(); }), 13);  // passed on when direct
    }
  }
}

}  // namespace
}  // namespace tavirex
