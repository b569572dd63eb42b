// Host paths, start-up, logs and the property set, on real INI files and a
// real module folder.
#include <gtest/gtest.h>

#include <regex>

#include "hostenv/error_report.h"
#include "hostenv/host_paths.h"
#include "interface/cls_tavirex.h"
#include "interface/property_table.h"
#include "test_support.h"

namespace tavirex {
namespace {

using testing::Workstation;

const std::string kIniBox = "|Unable to find or read the praxo32.ini file.|16";
const std::string kStamp = R"(\d\d-\d\d-\d{4}  \d{1,2}:\d\d:\d\d [AP]M)";

TEST(HostPaths, DataDirResultsAndMessages) {
  struct Case {
    std::string ini;
    std::string result;
    std::vector<std::string> boxes;
  };
  const std::vector<Case> cases = {
      {"[System]\nDataDir=C:\\Praxo\\Data\\\n", "C:\\Praxo\\Data\\", {}},
      {"[System]\nDataDir=\\\\server\\share\n", "\\\\server\\share", {}},
      {"[System]\nDataDir=data\n", "-4", {}},
      {"[System]\nDataDir=\\data\n", "-4", {}},
      {"[System]\nDataDir=\n", "-3", {"Tavirex" + kIniBox}},
      {"[Other]\nDataDir=C:\\x\n", "-3", {"Tavirex" + kIniBox}},
  };
  for (const Case& c : cases) {
    Workstation ws;
    ws.WriteHostIni(c.ini);
    EXPECT_EQ(GetPraxoDBPath(ws.platform()), c.result) << c.ini;
    EXPECT_EQ(ws.Boxes(), c.boxes) << c.ini;
  }
}

TEST(HostPaths, ModuleRoutineWantsTheDatabaseFile) {
  Workstation ws;
  std::filesystem::create_directories(ws.root() / "data");
  ws.WriteHostIni("[System]\nDataDir=C:\\data\n");
  EXPECT_EQ(GetPraxoDBPathModule(ws.platform()), "-3");
  Workstation::WriteFile(ws.root() / "data" / "praxo.mdb", "");
  EXPECT_EQ(GetPraxoDBPathModule(ws.platform()), "C:\\data");
  EXPECT_TRUE(ws.Boxes().empty());

  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\n");
  EXPECT_EQ(GetPraxoDBPathModule(ws.platform()), "-3");
  EXPECT_EQ(ws.Boxes(), std::vector<std::string>{"PXEquipIF TavirexIF Error" + kIniBox});
}

TEST(HostPaths, ProgramFolder) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\\ \n");
  EXPECT_EQ(GetPraxoPath(ws.platform()), "C:\\Praxo\\");
  EXPECT_EQ(GetPgmsDir(ws.platform()), "C:\\Praxo\\");
  ws.WriteHostIni("");
  EXPECT_EQ(GetPgmsDir(ws.platform()), "");
  EXPECT_TRUE(ws.Boxes().empty());
  EXPECT_EQ(GetPraxoPath(ws.platform()), "-3");
  EXPECT_EQ(ws.Boxes(), std::vector<std::string>{kIniBox});
}

TEST(StartUp, FileRouteRunsOnceBeforeTheFirstObject) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\n[ADOConnection]\nConnectThru=msde\n");
  HostModule module(ws.platform());
  ClsTavirex first(module, ws.window());
  ClsTavirex second(module, ws.window());
  EXPECT_EQ(ws.Boxes(), std::vector<std::string>{"PXEquipIF TavirexIF Error" + kIniBox});
  EXPECT_EQ(ws.platform().server_connections_created(), 0);
}

TEST(StartUp, ServerRouteConnectsOnceToTheConfiguredComponent) {
  struct Case {
    std::string route;
    std::string component_class;  // "": none installed, nothing is asked
    std::string method;           // configured; "" for the default
    int created;
    std::string error_file;
  };
  const std::vector<Case> cases = {
      {"SQL", "", "", 0, ""},
      {"SQL", "Praxo.ServerLink", "", 1, ""},
      {"MSDE", "{621C4617-A319-477D-9951-490064C0ACF2}", "Open", 1, ""},
      {"SQL", "Praxo Server", "", 0,
       "\r\n" + kStamp +
           " Error in: Main\r\n      Error Num=429  ActiveX component can't create object\r\n"},
  };
  for (const Case& c : cases) {
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n[ADOConnection]\nConnectThru=" +
                    c.route + "\nDataSource=PRAXO-SRV\n");
    ws.WriteEquipIni("[Tavirex]\nServerConnectionClass=" + c.component_class +
                     "\nServerConnectionMethod=" + c.method + "\n");
    HostModule module(ws.platform());
    ClsTavirex first(module, ws.window());
    ClsTavirex second(module, ws.window());
    EXPECT_EQ(second.GetPraxoDBPath(), "C:\\D") << c.component_class;
    EXPECT_TRUE(ws.Boxes().empty()) << c.component_class;
    EXPECT_EQ(ws.platform().server_connections_created(), c.created) << c.component_class;
    EXPECT_EQ(module.has_server_connection(), c.created == 1) << c.component_class;
    const PosixPlatform::ServerConnection& asked = ws.platform().last_server_request();
    EXPECT_EQ(asked.component_class, c.component_class);
    if (!c.component_class.empty()) {
      EXPECT_EQ(asked.method, c.method.empty() ? "SetServerName" : c.method);
      EXPECT_EQ(asked.server_name, "PRAXO-SRV");
    }
    EXPECT_TRUE(std::regex_match(ws.ModuleFile("PX_IF_Tavirex.err"), std::regex(c.error_file)))
        << c.component_class;
  }
}

TEST(StartUp, EveryConstructionAsksForTheProgramFolder) {
  Workstation ws;
  ws.WriteHostIni("[ADOConnection]\nConnectThru=SQL\n");
  ws.WriteEquipIni("[Tavirex]\nServerConnectionClass=Praxo.ServerLink\n");
  HostModule module(ws.platform());
  ClsTavirex first(module, ws.window());
  ClsTavirex second(module, ws.window());
  EXPECT_EQ(ws.Boxes(), (std::vector<std::string>{kIniBox, kIniBox}));
  EXPECT_EQ(ws.platform().server_connections_created(), 1);  // with the empty server name
  EXPECT_EQ(ws.platform().last_server_request().server_name, "");
}

TEST(Logs, ThreeLayoutsByteForByte) {
  Workstation ws;
  AppendToLog(ws.platform(), " CaptureDevice, Err Number: 76");
  AppendToLog(ws.platform(), "second");
  EXPECT_TRUE(std::regex_match(ws.ModuleFile("Tavirex.log"),
                               std::regex("\r\n" + kStamp + " CaptureDevice, Err Number: 76\r\n" +
                                          "\r\n" + kStamp + "second\r\n")));

  AppendToHostLog(ws.platform(), "Capture started");
  EXPECT_TRUE(std::regex_match(ws.ModuleFile("KR_Tavirex.log"),
                               std::regex("\r\n" + kStamp + "Capture started\r\n\r\n")));

  ReportError(ws.platform(), "WriteToLog", VbError(53));
  ReportError(ws.platform(), "x", VbError(-2147, "Odd"));
  EXPECT_EQ(ws.Boxes(),
            (std::vector<std::string>{
                "PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=53  File not "
                "found.\r\nWriteToLog|16",
                "PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=-2147  Odd.\r\nx|16",
            }));
  EXPECT_TRUE(std::regex_match(
      ws.ModuleFile("PX_IF_Tavirex.err"),
      std::regex("\r\n" + kStamp +
                 " Error in: WriteToLog\r\n      Error Num=53  File not found\r\n" + "\r\n" +
                 kStamp + " Error in: x\r\n      Error Num=-2147  Odd\r\n")));
}

TEST(Logs, UnwritableErrorFileReachesTheCaller) {
  Workstation ws;
  std::filesystem::remove_all(ws.module_dir());
  EXPECT_THROW(ReportError(ws.platform(), "x", VbError(5)), VbError);
  EXPECT_EQ(ws.Boxes().size(), 1u);  // the box comes first
}

TEST(ClsTavirexTest, WriteToLogIsGatedAndCatchesItsFailures) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n");
  HostModule module(ws.platform());
  ClsTavirex object(module, ws.window());
  object.WriteToLog("not written");
  EXPECT_FALSE(std::filesystem::exists(ws.module_dir() / "KR_Tavirex.log"));
  object.props().gblnShouldWriteToLog = 1;  // any value but 0 opens the gate
  object.WriteToLog("written");
  EXPECT_NE(ws.ModuleFile("KR_Tavirex.log").find("written\r\n\r\n"), std::string::npos);

  std::filesystem::remove(ws.module_dir() / "KR_Tavirex.log");
  std::filesystem::create_directory(ws.module_dir() / "KR_Tavirex.log");
  EXPECT_NO_THROW(object.WriteToLog("cannot"));
  ASSERT_EQ(ws.Boxes().size(), 1u);
  EXPECT_NE(ws.Boxes()[0].find("\r\nWriteToLog|16"), std::string::npos);
  EXPECT_NE(ws.ModuleFile("PX_IF_Tavirex.err").find(" Error in: WriteToLog\r\n"),
            std::string::npos);
}

TEST(ClsTavirexTest, ShouldWriteToLogReadsTheEquipmentSwitch) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n");
  HostModule module(ws.platform());
  ClsTavirex object(module, ws.window());
  EXPECT_EQ(object.ShouldWriteToLog(), kVbFalse);  // no file
  for (std::string value : {"yes", "Yes", "YES", " yEs "}) {
    ws.WriteEquipIni("[Equipment]\nWriteReceiveDataLog=" + value + "\n");
    EXPECT_EQ(object.ShouldWriteToLog(), kVbTrue) << value;
  }
  for (std::string value : {"Y", "TRUE", "", "YES!"}) {
    ws.WriteEquipIni("[Equipment]\nWriteReceiveDataLog=" + value + "\n");
    EXPECT_EQ(object.ShouldWriteToLog(), kVbFalse) << value;
  }
  EXPECT_EQ(object.props().gblnShouldWriteToLog, kVbFalse);
}

TEST(ClsTavirexTest, DefaultsConstantsAndQuoting) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n");
  HostModule module(ws.platform());
  ClsTavirex object(module, ws.window());
  for (const PropertyInfo& info : StoredProperties()) {
    std::string text = SlotText(object.props(), info);
    EXPECT_TRUE(text == "" || text == "0" || text == "Nothing") << info.name << "=" << text;
  }
  EXPECT_EQ(StoredProperties().size(), 52u);
  EXPECT_EQ(ClsTavirex::ConnectStringParams(), "me");
  EXPECT_EQ(ClsTavirex::fun_sFixString(""), "");
  EXPECT_EQ(ClsTavirex::fun_sFixString("O'Brien"), "O''Brien");
  EXPECT_EQ(ClsTavirex::fun_sFixString("a''b'"), "a''''b''");
  EXPECT_EQ(ClsTavirex::fun_sFixString("Smith"), "Smith");
}

TEST(ClsTavirexTest, ObjectFieldsReleaseWhatTheyHeld) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n");
  HostModule module(ws.platform());
  std::weak_ptr<HostObject> first;
  {
    ClsTavirex object(module, ws.window());
    auto patient = std::make_shared<HostObject>();
    first = patient;
    object.props().mobjPatient = std::move(patient);
    object.props().mobjKMDataObject = object.props().mobjPatient;
    object.props().mobjPatient = std::make_shared<HostObject>();
    EXPECT_FALSE(first.expired());  // still held by mobjKMDataObject
  }
  EXPECT_TRUE(first.expired());
}

}  // namespace
}  // namespace tavirex
