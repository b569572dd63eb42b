// The host settings on real INI files: the device catalogue, the equipment
// lookup, the host INI's folders and their boxes, the start-up routine, the
// three logs and the host's progress-log gate.
#include "hostenv/error_report.h"
#include "hostenv/host_paths.h"
#include "plugin/catalogue.h"
#include "test_support.h"

namespace tavirex {
namespace {

// The names themselves are in collection.vbs, as a host reads them.
TEST(Catalogue, TheFixedPropertiesOfExactNamesOnly) {
  const std::vector<std::string> catalogue = ClsTavirex::DeviceNames();
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\\Pgms\n");
  ClsTavirex& object = ws.NewObject();
  auto props = [&] {
    const TavirexProperties& p = object.props();
    return std::to_string(p.UseSerialPort) + "|" + p.DataSource + "|" + p.EquipProgPathFName + "|" +
           p.EquipDataPath + "|" + p.EquipDataFileStartChars + "|" + p.EquipDataFileEndChars + "|" +
           std::to_string(p.Look4EndOfTransChar) + "|" + std::to_string(p.UseOtherCommCtrl) + "|" +
           p.CompanyName + p.Model + p.DeviceName;
  };
  std::vector<std::string> names = {"capture iPedra", "Capture iKora", " Review Vessara", ""};
  names.insert(names.end(), catalogue.begin(), catalogue.end());
  for (const std::string& name : names) {
    TavirexProperties& p = object.props();
    p.UseSerialPort = p.Look4EndOfTransChar = p.UseOtherCommCtrl = kVbTrue;
    p.DataSource = p.EquipProgPathFName = p.EquipDataPath = p.EquipDataFileStartChars =
        p.EquipDataFileEndChars = p.CompanyName = p.Model = p.DeviceName = "s";
    object.LoadEquipProps(name);
    const bool listed = std::find(catalogue.begin(), catalogue.end(), name) != catalogue.end();
    EXPECT_EQ(props(), listed ? "0|File|C:\\KSOCTVIEW\\bin\\CreatePatient.exe|C:\\Praxo\\Pgms|op_|"
                                ".jpg|0|0|sss"
                              : "-1|s|s|s|s|s|-1|-1|sss")
        << name;
  }
  ws.WriteHostIni("[System]\nDataDir=C:\\D\n");  // no PgmsDir: no folder
  object.LoadEquipProps("Review Corvana");
  EXPECT_EQ(object.props().EquipDataPath, "");
  // SQL quoting: every quote doubled.
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"Smith", "Smith"}, {"O'Brien", "O''Brien"}, {"'a''b'", "''a''''b''"}};
  for (const auto& [text, fixed] : cases) {
    EXPECT_EQ(ClsTavirex::fun_sFixString(text), fixed);
  }
}

// The "Equipment" list: `entries` is its body (nullptr: no equipment INI).
struct LookupCase {
  const char* entries;
  const char* result;  // the number, or "error N"
  const char* key = "Tavirex:Review Vessara";
};

const LookupCase kLookups[] = {
    {nullptr, "0"},
    {"1=7:x:Tavirex:Review Vessara", "0"},  // no Number
    {"Number=0\n1=7:x:Tavirex:Review Vessara", "0"},
    {"Number=x3\n1=7:x:Tavirex:Review Vessara", "0"},
    {"Number=1\n1=-3:x:Tavirex:Review Vessara", "-3"},
    {"Number=2.5\n3=7:x:Tavirex:Review Vessara", "0"},  // 2.5 rounds to 2
    {"Number=3.5\n4=7:x:Tavirex:Review Vessara", "7"},  // 3.5 rounds to 4
    {"Number=3\n1=7:x:Tavirex:Review Vessara\n3=9:x:Tavirex:Review Vessara", "7"},
    {"Number=1\n1=7:x:y:Tavirex:Review Vessara", "0"},  // a colon too many
    {"Number=2\n1=7:x:Tavirex:review Vessara\n2=8:x:tavirex:Review Vessara", "0"},
    {"Number=1\n1=7:x:Tavirex:Capture Vessara", "0"},
    {"Number=3\n1=abc:x:Tavirex:Capture Vessara\n2=99999\n3=12:x:Tavirex:Review Vessara", "12"},
    {"Number=1\n1=5:x:Tavirex:Review:Vessara", "5", "Tavirex:Review:Vessara"},
    {"Number=1\n1=5:x:Tavirex", "0", "Tavirex"},
    {"Number=1\n1=5:x:a:b:c:d", "0", "a:b:c:d"},
    {"Number=40000", "error 6"},
    {"Number=1\n1=70000:x:Tavirex:Review Vessara", "error 6"},
    {"Number=1\n1=abc:x:Tavirex:Review Vessara", "error 13"}};

TEST(Equipment, LookupAndSettings) {
  Workstation ws;
  ClsTavirex& object = ws.NewObject();
  for (const LookupCase& c : kLookups) {
    fs::remove(ws.Path("windows/PXEquip.ini"));
    if (c.entries) ws.WriteEquipIni(std::string("[Equipment]\n") + c.entries + "\n");
    std::string result;
    const int error =
        ErrorOf([&] { result = std::to_string(GetEquipNumber(object.platform(), c.key)); });
    EXPECT_EQ(error ? "error " + std::to_string(error) : result, c.result) << c.entries;
  }
  // The settings of the numbered section; "" reads as no value.
  ws.WriteEquipIni(
      "[Equipment]\nNumber=3\n1=7:x:Tavirex:Review Vessara\n2=-3:x:Tavirex:Capture Vessara\n"
      "3=8:x:Tavirex:Review Corvana\n[7]\nEquipDataPath=C:\\Store\nEquipProgPathFName=\n"
      "EquipDataPath=C:\\Second\n"
      "[-3]\nEquipDataPath=C:\\Drop\n[8]\nEquipDataPath=" +
      std::string(255, 'v') + "\n[0]\nEquipDataPath=C:\\Unlisted\n");
  const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
      {"Review Vessara", kEquipDataPathKey, "C:\\Store"},
      {"Capture Vessara", kEquipDataPathKey, "C:\\Drop"},
      {"Review Vessara", kEquipProgPathFNameKey, std::nullopt},   // empty value
      {"Capture Vessara", kEquipProgPathFNameKey, std::nullopt},  // missing key
      {"Review Corvana", kEquipDataPathKey, std::string(254, 'v')},
      {"Review iPedra", kEquipDataPathKey, "C:\\Unlisted"},  // not listed: section 0
  };
  for (const auto& [device, key, value] : cases) {
    EXPECT_EQ(ReadDeviceSetting(object.platform(), device, key), value) << device << " " << key;
  }
}

const std::string kErrorTitle = "PXEquipIF TavirexIF Error";

// GetPraxoDBPath, the module's GetPraxoDBPath, GetPraxoPath and GetPgmsDir,
// in that order, on one host INI ("data\praxo.mdb" exists).
TEST(HostPaths, ResultsAndBoxes) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // ini, results, boxes
      {"DataDir=C:\\data\nPgmsDir=C:\\P", "C:\\data|C:\\data|C:\\P|C:\\P", ""},
      {"DataDir=C:\\nodb\nPgmsDir=C:\\P", "C:\\nodb|-3|C:\\P|C:\\P", ""},
      {"DataDir=\\\\srv\\share\nPgmsDir=C:\\P", "\\\\srv\\share|-3|C:\\P|C:\\P", ""},
      {"DataDir=data\nPgmsDir=C:\\P", "-4|-4|C:\\P|C:\\P", ""},
      {"DataDir=\\data\nPgmsDir=C:\\P", "-4|-4|C:\\P|C:\\P", ""},
      {"PgmsDir=C:\\P", "-3|-3|C:\\P|C:\\P", "Tavirex" + kNoIni + kErrorTitle + kNoIni},
      {"DataDir=C:\\data", "C:\\data|C:\\data|-3|", kNoIni}};
  for (const auto& [ini, expected, boxes] : cases) {
    Workstation ws;
    ws.Write("data/praxo.mdb", "");
    ws.WriteHostIni("[System]\n" + ini + "\n");
    testing::User& user = ws.user();
    std::string results = GetPraxoDBPath(user);
    results += "|" + GetPraxoDBPathModule(user);
    results += "|" + GetPraxoPath(user);
    results += "|" + GetPgmsDir(user);
    EXPECT_EQ(results, expected) << ini;
    EXPECT_EQ(user.Shown(), boxes) << ini;
  }
}

// Two objects of one module: the start-up runs once, and each object asks
// for the program folder.
TEST(StartUp, OncePerModuleAndTheServerComponentOnce) {
  const std::string sql = "[ADOConnection]\nConnectThru=SQL\nDataSource=SRV";
  const std::string clsid = "{621C4617-A319-477D-9951-490064C0ACF2}";
  const struct {
    std::string host_ini, component, method, asked, boxes,
        error_file;  // asked: class|method|server
  } cases[] = {
      {"[ADOConnection]\nConnectThru=msde", "Praxo.Link", "", "", kErrorTitle + kNoIni, ""},
      {"", "Praxo.Link", "", "", kErrorTitle + kNoIni, ""},
      {sql, "", "", "", "", ""},
      {sql, "Praxo.Link", "", "Praxo.Link|SetServerName|SRV", "", ""},
      {"[ADOConnection]\nConnectThru=MSDE\nDataSource=SRV", clsid, "Open", clsid + "|Open|SRV", "",
       ""},
      {sql, "Praxo Link", "", "", "",
       kStamp +
           " Error in: Main\r\n      Error Num=429  ActiveX component can't create object\r\n"}};
  for (const auto& c : cases) {
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\P\n" + c.host_ini + "\n");
    ws.WriteEquipIni("[Tavirex]\nServerConnectionClass=" + c.component +
                     "\nServerConnectionMethod=" + c.method + "\n");
    HostModule module(ws.user());
    ClsTavirex first(module, ws.user());
    ClsTavirex second(module, ws.user());
    EXPECT_EQ(ws.user().connected, c.asked.empty() ? Boxes{} : Boxes{c.asked}) << c.component;
    EXPECT_EQ(module.has_server_connection(), !c.asked.empty());
    EXPECT_EQ(ws.user().Shown(), c.boxes) << c.host_ini << c.component;
    EXPECT_EQ(ws.Log("PX_IF_Tavirex.err"), c.error_file);
  }
  Workstation ws;  // no program folder: one box per object
  HostModule module(ws.user());
  ClsTavirex first(module, ws.user());
  ClsTavirex second(module, ws.user());
  EXPECT_EQ(ws.user().Shown(), kErrorTitle + kNoIni + kNoIni + kNoIni);
}

TEST(Logs, LayoutsAndTimeStamp) {
  const std::tuple<std::function<void(Platform&)>, std::string, std::string, std::string> cases[] =
      {// writer, file, bytes, box
       {[](Platform& p) { AppendToLog(p, " CaptureDevice, Err Number: 76"); }, "Tavirex.log",
        kStamp + " CaptureDevice, Err Number: 76\r\n", ""},
       {[](Platform& p) { AppendToHostLog(p, "Capture started"); }, "KR_Tavirex.log",
        kStamp + "Capture started\r\n\r\n", ""},
       {[](Platform& p) { ReportError(p, "WriteToLog", VbError(53)); }, "PX_IF_Tavirex.err",
        kStamp + " Error in: WriteToLog\r\n      Error Num=53  File not found\r\n",
        ErrorBox("53  File not found", "WriteToLog")},
       {[](Platform& p) { AppendErrorEntry(p, "Main", VbError(-2147, "Odd")); },
        "PX_IF_Tavirex.err", kStamp + " Error in: Main\r\n      Error Num=-2147  Odd\r\n", ""}};
  for (const auto& [write, file, bytes, box] : cases) {
    Workstation ws;
    write(ws.user());
    write(ws.user());  // appended
    EXPECT_EQ(ws.Log(file), bytes + bytes);
    EXPECT_EQ(ws.user().Shown(), box + box);
  }
}

TEST(Logs, WriteToLogGate) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n");
  ClsTavirex& object = ws.NewObject();
  EXPECT_EQ(object.ShouldWriteToLog(), kVbFalse);  // no equipment INI
  for (const std::string row : {"1yes", "1 yEs ", "1YES", "0Y", "0TRUE", "0", "0YES!"}) {
    ws.WriteEquipIni("[Equipment]\nWriteReceiveDataLog=" + row.substr(1) + "\n");
    EXPECT_EQ(object.ShouldWriteToLog(), row[0] == '1' ? kVbTrue : kVbFalse) << row;
  }
  EXPECT_EQ(object.props().gblnShouldWriteToLog, kVbFalse);  // asking does not set it
  object.WriteToLog("closed");
  object.props().gblnShouldWriteToLog = 1;  // any value but 0 opens the gate
  object.WriteToLog("open");
  EXPECT_EQ(ws.Log("KR_Tavirex.log"), kStamp + "open\r\n\r\n");
  // A failure to write is reported, never passed on.
  fs::remove(ws.Path("module/KR_Tavirex.log"));
  fs::create_directory(ws.Path("module/KR_Tavirex.log"));
  EXPECT_NO_THROW(object.WriteToLog("cannot"));
  EXPECT_EQ(ws.user().Shown(), ErrorBox("75  Path/File access error", "WriteToLog"));
  EXPECT_NE(ws.Log("PX_IF_Tavirex.err").find(" Error in: WriteToLog\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tavirex
