// The capture workflow on real folders, the vendor program played by the
// scripted user, and DoDeviceFunction's choice of workflows.
#include "capture/capture_device.h"
#include "test_support.h"

namespace tavirex {
namespace {

using testing::kStamp;
using testing::Workstation;

const std::string kWait = "Tavirex Capture|Waiting for Technician  -  Place files in C:\\";
const std::string kDelete = "Attention|Do you want to delete current files?|4\n";
const std::string kNoProgram = "Attention|File Not Found|0\n";
const std::string kPatient = R"("4711" "Doe" "Ann" "n/a" F 01/02/1960 "n/a" 12)";
const std::string kKs = "C:\\KSOCTVIEW\\bin\\";
const std::string kVendor = "C:\\Vendor\\";
const std::string kTwins =
    "[Equipment]\nNumber=2\n1=5:x:Tavirex:Capture Corvana\n2=6:y:Tavirex:Review Corvana\n"
    "[5]\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\nEquipDataPath=C:\\Export\n";

enum Outcome { kMoved, kKept, kDeleted };

struct CaptureCase {
  std::string device, equip_ini, answers, separator, result, boxes;
  std::string program;  // the folder of the program launched; "" for none
  std::string drop;     // where the exports lie
  std::string store;    // made before the program is looked for
  Outcome outcome;
};

const CaptureCase kCaptures[] = {
    {"Capture Vessara", "", "O", "/", "Was OK", kWait + "Praxo|1\n", kKs, "Praxo", "Praxo/Data",
     kMoved},
    {"Capture Corvana", kTwins + "[6]\nEquipDataPath=C:\\Store\n", "O", ".", "Was OK",
     kWait + "Export|1\n", kVendor, "Export", "Store", kMoved},
    {"Capture Corvana", kTwins, "O", "-", "Was OK", kWait + "Export|1\n", kVendor, "Export",
     "Export/Data", kMoved},
    {"Capture iPedra", "", "CN", "/", "Was OK", kWait + "Praxo|1\n" + kDelete, kKs, "Praxo",
     "Praxo/Data", kKept},
    {"Capture iPedra", "", "CY", "/", "Was OK", kWait + "Praxo|1\n" + kDelete, kKs, "Praxo",
     "Praxo/Data", kDeleted},
    {"Capture Corvana",
     "[Equipment]\nNumber=1\n1=5:x:Tavirex:Capture Corvana\n[5]\nEquipProgPathFName=C:\\None\\x."
     "exe\nEquipDataPath=C:\\Export\n",
     "", "/", "", kNoProgram, "", "Export", "Export/Data", kKept},
};

TEST(Capture, SettingsBoxesParametersAndFolders) {
  const Folder exported = {{"4711_Vessara_1.jpg", "one"}, {"P_2.jpg", "two"}};
  const Folder stored = {{"4711_1042_Vessara_1.jpg", "one"}, {"P_1042_2.jpg", "two"}};
  for (const CaptureCase& c : kCaptures) {
    SCOPED_TRACE(c.device + " " + c.answers + " " + c.equip_ini);
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\Praxo\\Data\n");
    ws.WriteEquipIni(c.equip_ini);
    ws.Write("KSOCTVIEW/bin/CreatePatient.exe", "MZ");
    ws.Write("Vendor/CreatePatient.exe", "MZ");
    for (const auto& [name, bytes] : exported) ws.Write(c.drop + "/" + name, bytes);
    fs::create_directories(ws.Path(c.drop + "/sub"));
    ClsTavirex& object = ws.NewObject(c.device);
    TavirexProperties& p = object.props();
    std::tie(p.LastName, p.FirstName, p.Gender, p.DateOfBirth, p.ExamRecNum) =
        std::make_tuple("Doe", "Ann", "F", "01/02/1960", 1042);
    ws.user().answers = c.answers;
    ws.user().date_separator = c.separator;
    const fs::path cwd = fs::current_path();

    EXPECT_EQ(object.CaptureDevice(), c.result);
    EXPECT_EQ(ws.user().Shown(), c.boxes);
    const std::string parameters = kPatient + c.separator + "04" + c.separator + "2026 1";
    EXPECT_EQ(ws.user().launched, c.program.empty() ? Boxes{}
                                                    : Boxes{c.program + "CreatePatient.exe|" +
                                                            parameters + "|" + c.program});
    EXPECT_EQ(fs::current_path(),
              c.program.empty() ? cwd : ws.Path(c.program == kKs ? "KSOCTVIEW/bin" : "Vendor"));
    EXPECT_TRUE(fs::is_directory(ws.Path(c.store)));
    EXPECT_EQ(ws.Contents(c.drop), c.outcome == kKept ? exported : Folder{});
    EXPECT_TRUE(fs::is_directory(ws.Path(c.drop + "/sub")));  // sub-folders stay
    for (const char* store : {"Praxo/Data", "Store", "Export/Data"}) {
      EXPECT_EQ(ws.Contents(store), store == c.store && c.outcome == kMoved ? stored : Folder{});
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
  EXPECT_EQ(ws.Log("Tavirex.log"), kStamp + line + "\r\n");
  EXPECT_NE(ws.Log("PX_IF_Tavirex.err").find(" Error in: " + line + "\r\n"), std::string::npos);
  EXPECT_EQ(ws.user().Shown(),
            "PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=76  Path not "
            "found.\r\n" +
                line + "|16\n");
  fs::remove_all(ws.Path("module"));  // when the log cannot be written, the caller hears
  EXPECT_NE(testing::ErrorOf([&] { object.CaptureDevice(); }), 0);
}

TEST(Capture, VendorParameters) {
  const struct {
    std::string patient, last, middle, parameters;
  } cases[] = {
      {"12-3456-789", "Doe", "", R"("123456789" "Doe" "Ann" "n/a" F 1/2/60 "n/a" D 1)"},
      {"1234-5678-9012-3456-78", "O\"Neil", " ",
       R"("1234567890123456" "O"Neil" "Ann" " " F 1/2/60 "n/a" D 1)"},
      // 16 UTF-16 units; the emoji's pair would be cut and is left out whole.
      {"Zoë-Ω東京-łódź-12345😀", "Doe", "M",
       R"("ZoëΩ東京łódź12345" "Doe" "Ann" "M" F 1/2/60 "n/a" D 1)"},
  };
  for (const auto& c : cases) {
    TavirexProperties p;
    std::tie(p.PATIENTID, p.LastName, p.FirstName, p.MiddleName, p.Gender, p.DateOfBirth) =
        std::make_tuple(c.patient, c.last, "Ann", c.middle, "F", "1/2/60");
    EXPECT_EQ(BuildVendorParameters(p, "D"), c.parameters);
  }
}

// Which workflows a device name runs, in which order; a failure reaching
// DoDeviceFunction is logged and shown, and an earlier result stays.
TEST(Capture, DoDeviceFunction) {
  const std::string failure = " DoDeviceFunction, Err Number: 13 Err Description: Type mismatch";
  const std::string failed =
      "PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=13  Type "
      "mismatch.\r\n" +
      failure + "|16\n";
  const struct {
    std::string device, entry, result, seen;
  } cases[] = {
      {"Capture Vessara", "", "", kNoProgram},
      {"Review Vessara", "", "Was OK", "window\n"},
      {"review vessara", "", "", ""},
      {"CAPTURE Vessara", "", "", ""},
      {"Review Capture", "", "Was OK", kNoProgram + "window\n"},  // Capture first
      {"xCapturexReviewx", "", "Was OK", kNoProgram + "window\n"},
      {"Review Vessara", "x:y:Tavirex:Review Vessara", "", failed},
      // Only Review looks up "Capture Capture".
      {"Capture Review", "x:y:Tavirex:Capture Capture", "Was OK",
       kWait + "drop|1\n" + kDelete + failed},
  };
  for (const auto& c : cases) {
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\D\n");
    ws.WriteEquipIni("[Equipment]\nNumber=1\n1=" + c.entry + "\n");
    ws.Write("p.exe", "MZ");
    ClsTavirex& object = ws.NewObject(c.device);
    object.props().EquipDataPath = "C:\\drop";  // for the names outside the catalogue
    if (!c.entry.empty()) object.props().EquipProgPathFName = "C:\\p.exe";
    ws.user().at_window = [&](FrmImageFiles&) { ws.user().boxes.push_back("window"); };
    EXPECT_EQ(object.DoDeviceFunction(), c.result) << c.device;
    EXPECT_EQ(ws.user().Shown(), c.seen) << c.device;
    if (!c.entry.empty()) {
      EXPECT_EQ(ws.Log("Tavirex.log"), kStamp + failure + "\r\n");
      EXPECT_NE(ws.Log("PX_IF_Tavirex.err").find(" Error in: " + failure + "\r\n"),
                std::string::npos);
      EXPECT_EQ(testing::ErrorOf([&] { object.ReviewDevice(); }), 13);  // passed on when direct
    }
  }
}

}  // namespace
}  // namespace tavirex
