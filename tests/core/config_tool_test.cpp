// The tools on a temporary workstation, one command line per row: for
// tavirex-config its exit code, a text it must print and the equipment INI it
// leaves; for tavirex-host also whether it created the object.
#include "tools/config/config_tool.h"
#include "test_support.h"
#include "tools/host/direct_driver.h"
#include "tools/host/host_tool.h"

namespace tavirex {
namespace {

// A Vessara pair that needs nothing more: the vendor program and both
// folders exist.
const char kGood[] =
    "[Equipment]\r\nNumber=2\r\n1=21:cap:Tavirex:Capture Vessara\r\n2=22:rev:Tavirex:Review "
    "Vessara\r\n\r\n[21]\r\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\r\nEquipDataPath=C:"
    "\\Export\r\n; store\r\n[22]\r\nEquipDataPath=C:\\Images\r\n";
const char kCorvana[] =
    "[Equipment]\r\nNumber=1\r\n1=1:Review Corvana:Tavirex:Review Corvana\r\n\r\n[1]\r\n"
    "EquipDataPath=C:\\x\r\n";

struct ToolCase {
  const char* ini;   // nullptr: no PXEquip.ini
  std::string args;  // separated by "|"
  int exit_code;
  std::string text;             // in what it printed
  const char* after = nullptr;  // nullptr: the file is unchanged
};

const ToolCase kCases[] = {
    {kGood, "check", config::kExitOk, "No problems found."},
    {kGood, "check|--json", config::kExitOk, "\"problems\": []"},
    {nullptr, "check", config::kExitProblems, "PXEquip.ini is missing"},
    {"[Equipment]\nNumber=40000\n", "check", config::kExitProblems,
     "beyond 32767: every lookup fails (Err 6 Overflow)"},
    {"[Equipment]\nNumber=1\n1=x:c:Tavirex:Capture Vessara\n", "check|--json",
     config::kExitProblems, "the plug-in's lookup of its entry fails (Err 13 Type mismatch)"},
    {"[Equipment]\nNumber=1\n1=21:c:Tavirex:Capture Vessara\n2=22:r:Tavirex:Review Vessara\n",
     "check", config::kExitProblems, "after entry 1 (\"Number\"): never read"},
    {"[Equipment]\nNumber=1\n1=21:cap:Tavirex:capture Vessara\n", "check", config::kExitProblems,
     "\"capture Vessara\" is no device name"},
    {kGood, "add|capture iPedra|--data|C:\\x", config::kExitRefused,
     "\"capture iPedra\" is not one of"},
    {kGood, "add|Review Vessara|--data|C:\\x", config::kExitRefused,
     "already configured, in section [22]"},
    {kGood, "add|Review Corvana|--data|Images", config::kExitRefused, "is no full Windows path"},
    {kGood, "add|Review Corvana|--data|C:\\x|--label|a:b", config::kExitRefused,
     "must not contain ':'"},
    {kGood, "add|Review Corvana|--data|C:\\x|--program|C:\\p.exe", config::kExitRefused,
     "--program is for"},
    {kGood, "set|Review Corvana|--data|C:\\x", config::kExitRefused,
     "\"Review Corvana\" is not configured"},
    {kGood, "set|Review Vessara", config::kExitRefused, "nothing to set"},
    {kGood, "remove|Capture Corvana", config::kExitRefused,
     "\"Capture Corvana\" is not configured"},
    {kGood, "server|--class|Praxo Server", config::kExitRefused, "neither a ProgID"},
    {nullptr, "add|Review Corvana|--data|C:\\x", config::kExitOk, "", kCorvana},
    {"[Equipment]\r\nNumber=x3\r\n", "add|Review Corvana|--data|C:\\x", config::kExitOk, "",
     kCorvana},
    // Arguments are UTF-8, the file Windows-1252.
    {kGood, "set|Capture Vessara|--data|C:\\M\xc3\xbcller|--label|OCT", config::kExitOk, "",
     "[Equipment]\r\nNumber=2\r\n1=21:OCT:Tavirex:Capture Vessara\r\n2=22:rev:Tavirex:Review "
     "Vessara\r\n\r\n[21]\r\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\r\nEquipDataPath=C:"
     "\\M\xfcller\r\n; store\r\n[22]\r\nEquipDataPath=C:\\Images\r\n"},
    {kGood, "remove|Capture Vessara", config::kExitOk, "",
     "[Equipment]\r\nNumber=1\r\n1=22:rev:Tavirex:Review Vessara\r\n\r\n; store\r\n[22]\r\n"
     "EquipDataPath=C:\\Images\r\n"}};

TEST(ConfigTool, CommandsTable) {
  for (const ToolCase& c : kCases) {
    SCOPED_TRACE(c.args);
    std::vector<std::string> args;
    std::istringstream line(c.args);
    for (std::string arg; std::getline(line, arg, '|');) args.push_back(arg);
    testing::Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\Praxo\\Data\n");
    for (const char* folder : {"Praxo/Data", "Export", "Images"}) {
      fs::create_directories(ws.Path(folder));
    }
    ws.Write("Vendor/CreatePatient.exe", "MZ");
    ws.Write("KSOCTVIEW/bin/CreatePatient.exe", "MZ");
    if (c.ini) ws.WriteEquipIni(c.ini);
    std::ostringstream out, err;
    config::ToolContext context{ws.platform(), ws.Path("windows/PXEquip.ini").string(), out, err};
    EXPECT_EQ(config::RunConfigTool(args, context), c.exit_code) << out.str() << err.str();
    EXPECT_NE((out.str() + err.str()).find(c.text), std::string::npos) << out.str() << err.str();
    const std::string ini = ws.Read("windows/PXEquip.ini");
    if (c.after == nullptr) {
      EXPECT_EQ(ini, c.ini ? c.ini : "");
    } else {  // the edit, every other byte kept, and the old file as the backup
      EXPECT_EQ(ini, c.after);
      EXPECT_EQ(ws.Read("windows/PXEquip.ini.bak"), c.ini ? c.ini : "");
    }
    EXPECT_EQ(ws.user().boxes, std::vector<std::string>{});
  }
}

// tavirex-host checks every step before it creates the object, and stops at
// the first one that fails unless told to go on.
TEST(HostTool, ChecksEveryStepFirstAndStopsAtAFailure) {
  const std::tuple<std::vector<std::string>, int, std::string, bool> cases[] = {
      {{"PATIENTD=77-1", "CaptureDevice"},
       host::kExitRefused,
       "no property named \"PATIENTD\" (did you mean PATIENTID?)",
       false},
      {{"LogoToolTip=x"}, host::kExitRefused, "LogoToolTip is read-only", false},
      {{"ExamRecNum=40O1"}, host::kExitRefused, "ExamRecNum takes a whole number", false},
      {{"CaptureDevice:now"}, host::kExitRefused, "CaptureDevice takes no argument", false},
      // Corvana is not configured, and its default vendor program is missing.
      {{"DeviceName=Capture Corvana", "CaptureDevice", "GetPraxoDBPath"},
       host::kExitStepFailed,
       "stopped after step 2 of 3",
       true},
      {{"--keep-going", "DeviceName=Capture Corvana", "CaptureDevice", "GetPraxoDBPath"},
       host::kExitStepFailed,
       "GetPraxoDBPath -> C:\\Praxo\\Data\n",
       true},
      {{"ExamRecNum=42", "examrecnum", "fun_sFixString:O'Brien"},
       host::kExitOk,
       "ExamRecNum = 42\nfun_sFixString(O'Brien) -> O''Brien\n",
       true}};
  for (const auto& [args, exit_code, text, creates] : cases) {
    SCOPED_TRACE(text);
    testing::Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\Praxo\\Data\n");
    fs::create_directories(ws.Path("Praxo/Data"));
    int created = 0;
    host::DriverFactory factory{"", true, [&] {
                                  ++created;
                                  return host::MakeDirectDriver(ws.user(), ws.window());
                                }};
    std::ostringstream out, err;
    EXPECT_EQ(host::RunHostTool(args, factory, out, err), exit_code) << out.str() << err.str();
    EXPECT_NE((out.str() + err.str()).find(text), std::string::npos) << out.str() << err.str();
    EXPECT_EQ(created, creates ? 1 : 0);
  }
}

}  // namespace
}  // namespace tavirex
