// The host settings: the host INI's folders and their boxes, the start-up
// routine, the three logs and the host's progress-log gate.
#include <gtest/gtest.h>

#include "hostenv/error_report.h"
#include "hostenv/host_paths.h"
#include "test_support.h"

namespace tavirex {
namespace {

using testing::Workstation;
using Boxes = std::vector<std::string>;

const std::string kNoIni = "|Unable to find or read the praxo32.ini file.|16";
const std::string kErrorTitle = "PXEquipIF TavirexIF Error";
const std::string kStamp = "\r\n12-04-2026  4:12:40 PM";

// GetPraxoDBPath, the module's GetPraxoDBPath, GetPraxoPath and GetPgmsDir,
// in that order, on one host INI.
TEST(HostPaths, ResultsAndBoxes) {
  struct Case {
    std::string ini;
    std::string results;
    Boxes boxes;
  } const cases[] = {
      {"DataDir=C:\\data\nPgmsDir=C:\\P", "C:\\data|C:\\data|C:\\P|C:\\P", {}},
      {"DataDir=C:\\nodb\nPgmsDir=C:\\P", "C:\\nodb|-3|C:\\P|C:\\P", {}},
      {"DataDir=\\\\srv\\share\nPgmsDir=C:\\P", "\\\\srv\\share|-3|C:\\P|C:\\P", {}},
      {"DataDir=data\nPgmsDir=C:\\P", "-4|-4|C:\\P|C:\\P", {}},
      {"DataDir=\\data\nPgmsDir=C:\\P", "-4|-4|C:\\P|C:\\P", {}},
      {"PgmsDir=C:\\P", "-3|-3|C:\\P|C:\\P", {"Tavirex" + kNoIni, kErrorTitle + kNoIni}},
      {"DataDir=C:\\data", "C:\\data|C:\\data|-3|", {kNoIni}},
  };
  for (const Case& c : cases) {
    Workstation ws;
    ws.Write("data/praxo.mdb", "");
    ws.WriteHostIni("[System]\n" + c.ini + "\n");
    testing::User& user = ws.user();
    std::string results = GetPraxoDBPath(user);
    results += "|" + GetPraxoDBPathModule(user);
    results += "|" + GetPraxoPath(user);
    results += "|" + GetPgmsDir(user);
    EXPECT_EQ(results, c.results) << c.ini;
    EXPECT_EQ(user.boxes, c.boxes) << c.ini;
  }
}

// Two objects of one module: the start-up runs once, and each object asks
// for the program folder.
TEST(StartUp, OncePerModuleAndTheServerComponentOnce) {
  struct Case {
    std::string host_ini;
    std::string component;  // the equipment INI's class; "" names none
    std::string method;
    int created;
    std::string asked;  // class|method|server of the last request
    Boxes boxes;
    std::string error_file;
  } const cases[] = {
      {"[ADOConnection]\nConnectThru=msde", "Praxo.Link", "", 0, "", {kErrorTitle + kNoIni}, ""},
      {"", "Praxo.Link", "", 0, "", {kErrorTitle + kNoIni}, ""},
      {"[ADOConnection]\nConnectThru=SQL\nDataSource=SRV", "", "", 0, "", {}, ""},
      {"[ADOConnection]\nConnectThru=SQL\nDataSource=SRV",
       "Praxo.Link",
       "",
       1,
       "Praxo.Link|SetServerName|SRV",
       {},
       ""},
      {"[ADOConnection]\nConnectThru=MSDE\nDataSource=SRV",
       "{621C4617-A319-477D-9951-490064C0ACF2}",
       "Open",
       1,
       "{621C4617-A319-477D-9951-490064C0ACF2}|Open|SRV",
       {},
       ""},
      {"[ADOConnection]\nConnectThru=SQL\nDataSource=SRV",
       "Praxo Link",
       "",
       0,
       "Praxo Link|SetServerName|SRV",
       {},
       kStamp +
           " Error in: Main\r\n      Error Num=429  ActiveX component can't create object\r\n"},
  };
  for (const Case& c : cases) {
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\P\n" + c.host_ini + "\n");
    ws.WriteEquipIni("[Tavirex]\nServerConnectionClass=" + c.component +
                     "\nServerConnectionMethod=" + c.method + "\n");
    HostModule module(ws.user());
    ClsTavirex first(module, ws.user());
    ClsTavirex second(module, ws.user());
    EXPECT_EQ(ws.platform().server_connections_created(), c.created) << c.host_ini << c.component;
    EXPECT_EQ(module.has_server_connection(), c.created == 1);
    const auto& asked = ws.platform().last_server_request();
    if (!c.asked.empty()) {
      EXPECT_EQ(asked.component_class + "|" + asked.method + "|" + asked.server_name, c.asked);
    }
    EXPECT_EQ(ws.user().boxes, c.boxes) << c.host_ini << c.component;
    EXPECT_EQ(ws.Log("PX_IF_Tavirex.err"), c.error_file);
  }
  Workstation ws;  // no program folder: one box per object
  HostModule module(ws.user());
  ClsTavirex first(module, ws.user());
  ClsTavirex second(module, ws.user());
  EXPECT_EQ(ws.user().boxes, (Boxes{kErrorTitle + kNoIni, kNoIni, kNoIni}));
}

TEST(Logs, LayoutsAndTimeStamp) {
  struct Case {
    std::function<void(Platform&)> write;
    std::string file;
    std::string bytes;
    Boxes boxes;
  } const cases[] = {
      {[](Platform& p) { AppendToLog(p, " CaptureDevice, Err Number: 76"); },
       "Tavirex.log",
       kStamp + " CaptureDevice, Err Number: 76\r\n",
       {}},
      {[](Platform& p) { AppendToHostLog(p, "Capture started"); },
       "KR_Tavirex.log",
       kStamp + "Capture started\r\n\r\n",
       {}},
      {[](Platform& p) { ReportError(p, "WriteToLog", VbError(53)); },
       "PX_IF_Tavirex.err",
       kStamp + " Error in: WriteToLog\r\n      Error Num=53  File not found\r\n",
       {kErrorTitle + "|PXE_Tavirex IF Error Num=53  File not found.\r\nWriteToLog|16"}},
      {[](Platform& p) { AppendErrorEntry(p, "Main", VbError(-2147, "Odd")); },
       "PX_IF_Tavirex.err",
       kStamp + " Error in: Main\r\n      Error Num=-2147  Odd\r\n",
       {}},
  };
  for (const Case& c : cases) {
    Workstation ws;
    c.write(ws.user());
    c.write(ws.user());  // appended
    EXPECT_EQ(ws.Log(c.file), c.bytes + c.bytes);
    Boxes boxes = c.boxes;
    if (!boxes.empty()) boxes.push_back(boxes[0]);
    EXPECT_EQ(ws.user().boxes, boxes);
  }
  // An error file that cannot be written reaches the caller, after the box.
  Workstation ws;
  fs::remove_all(ws.Path("module"));
  EXPECT_NE(testing::ErrorOf([&] { ReportError(ws.user(), "x", VbError(5)); }), 0);
  EXPECT_EQ(ws.user().boxes.size(), 1u);
}

TEST(Logs, WriteToLogGate) {
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n");
  ClsTavirex& object = ws.NewObject();
  EXPECT_EQ(object.ShouldWriteToLog(), kVbFalse);  // no equipment INI
  for (auto [value, on] : std::vector<std::pair<std::string, VbBool>>{{"yes", kVbTrue},
                                                                      {" yEs ", kVbTrue},
                                                                      {"YES", kVbTrue},
                                                                      {"Y", kVbFalse},
                                                                      {"TRUE", kVbFalse},
                                                                      {"", kVbFalse},
                                                                      {"YES!", kVbFalse}}) {
    ws.WriteEquipIni("[Equipment]\nWriteReceiveDataLog=" + value + "\n");
    EXPECT_EQ(object.ShouldWriteToLog(), on) << value;
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
  ASSERT_EQ(ws.user().boxes.size(), 1u);
  EXPECT_NE(ws.user().boxes[0].find(".\r\nWriteToLog|16"), std::string::npos);
  EXPECT_NE(ws.Log("PX_IF_Tavirex.err").find(" Error in: WriteToLog\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tavirex
