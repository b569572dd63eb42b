// The tools on a temporary workstation, one command line per row: for
// tavirex-config its exit code (the number the README documents), a text it
// must print and the equipment INI it leaves; for tavirex-host also whether
// it created the object.
#include <grp.h>

#include <unistd.h>
#include <chrono>

#include "test_support.h"
#include "tools/config/config_tool.h"
#include "tools/host/host_tool.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

using namespace std::chrono_literals;

// A Vessara pair that needs nothing more: the vendor program and both
// folders exist.
const char kGood[] =
    "[Equipment]\r\nNumber=2\r\n1=21:cap:Tavirex:Capture Vessara\r\n2=22:rev:Tavirex:Review "
    "Vessara\r\n\r\n[21]\r\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\r\nEquipDataPath=C:"
    "\\Export\r\n; store\r\n[22]\r\nEquipDataPath=C:\\Images\r\n";
const char kCorvana[] =
    "[Equipment]\r\nNumber=1\r\n1=1:Review Corvana:Tavirex:Review Corvana\r\n\r\n[1]\r\n"
    "EquipDataPath=C:\\x\r\n";

// kGood with each `from` replaced by its `to`.
std::string Good(std::initializer_list<std::pair<std::string_view, std::string_view>> edits = {}) {
  std::string text = kGood;
  for (const auto& [from, to] : edits) text.replace(text.find(from), from.size(), to);
  return text;
}
void Chmod(testing::Workstation& ws, const char* path, fs::perms perms) {
  fs::permissions(ws.Path(path), perms);
}
using fs::perms;
using Ws = testing::Workstation;
void Unreadable(Ws& ws) { Chmod(ws, "windows", perms::all), Chmod(ws, "windows/PXEquip.ini", {}); }
void Utf16Good(Ws& ws) {
  std::string bytes = "\xff\xfe";
  for (char c : std::string_view(kGood)) bytes += {c, '\0'};
  ws.WriteEquipIni(bytes);
}
// A host installed in C:\Praxo with its data folder.
void Praxo(Ws& ws) {
  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\Praxo\\Data\n");
  fs::create_directories(ws.Path("Praxo/Data"));
}

struct ToolCase {
  const char* ini;   // nullptr: no PXEquip.ini
  std::string args;  // separated by "|"; ";" starts the next command line
  int exit_code;
  std::string text;        // in what it printed; "!text": not in it
  std::string after = {};  // "": the file and every backup unchanged
  void (*setup)(Ws&) = nullptr;
  bool as_user = false;               // run as an ordinary user (nobody), whose rights count
  ServiceStatus::State service = {};  // the forwarder's, as the service manager says
};
using Service = ServiceStatus::State;
const std::string kGoodOutbox = Good() + "\r\n[Tavirex]\r\nDicomOutbox=C:\\Outbox\r\n";
void PrivateOutbox(Ws& ws) {
  fs::create_directories(ws.Path("Outbox")), Chmod(ws, "Outbox", perms::owner_all);
}

const ToolCase kCases[] = {
    {kGood, "check", 0, "No problems found."},
    {kGood, "check|--json", 0, "\"problems\": []"},
    {nullptr, "check", 1, "PXEquip.ini is missing"},
    {"[Equipment]\nNumber=40000\n", "check", 1,
     "beyond 32767: every lookup fails (Err 6 Overflow)"},
    {"[Equipment]\nNumber=1\n1=x:c:Tavirex:Capture Vessara\n", "check|--json", 1,
     "the plug-in's lookup of its entry fails (Err 13 Type mismatch)"},
    {"[Equipment]\nNumber=1\n1=21:c:Tavirex:Capture Vessara\n2=22:r:Tavirex:Review Vessara\n",
     "check", 1, "after entry 1 (\"Number\"): never read"},
    {"[Equipment]\nNumber=1\n1=21:cap:Tavirex:capture Vessara\n", "check", 1,
     "\"capture Vessara\" is no device name"},
    {kGood, "add|capture iPedra|--data|C:\\x", 2, "\"capture iPedra\" is not one of"},
    {kGood, "add|Review Vessara|--data|C:\\x", 2, "already configured, in section [22]"},
    {kGood, "add|Review Corvana|--data|Images", 2, "is no full Windows path"},
    {kGood, "add|Review Corvana|--data|C:\\x|--label|a:b", 2, "must not contain ':'"},
    {kGood, "add|Review Corvana|--data|C:\\x|--program|C:\\p.exe", 2, "--program is for"},
    {kGood, "set|Review Corvana|--data|C:\\x", 2, "\"Review Corvana\" is not configured"},
    {kGood, "set|Review Vessara", 2, "nothing to set"},
    {kGood, "remove|Capture Corvana", 2, "\"Capture Corvana\" is not configured"},
    {kGood, "server|--class|Praxo Server", 2, "neither a ProgID"},
    {nullptr, "add|Review Corvana|--data|C:\\x", 0, "", kCorvana},
    {"[Equipment]\r\nNumber=x3\r\n", "add|Review Corvana|--data|C:\\x", 0, "", kCorvana},
    // Arguments are UTF-8, the file Windows-1252.
    {kGood, "set|Capture Vessara|--data|C:\\M\xc3\xbcller|--label|OCT", 0, "",
     Good({{"cap:", "OCT:"}, {"C:\\Export", "C:\\M\xfcller"}})},
    {kGood, "remove|Capture Vessara", 0, "",
     "[Equipment]\r\nNumber=1\r\n1=22:rev:Tavirex:Review Vessara\r\n\r\n; store\r\n[22]\r\n"
     "EquipDataPath=C:\\Images\r\n"},
    // 1. A file this user cannot read is not a missing one: check says so, add refuses.
    {kGood, "check", 1, "cannot be read by this user (Permission denied)", "", Unreadable, true},
    {kGood, "add|Review Corvana|--data|C:\\X", 2, "cannot be read by this user", "", Unreadable,
     true},
    // 2. A folder named PXEquip.ini: refused before the backups are touched.
    {nullptr, "server|--class|Praxo.X", 2, "is a folder, not a file", "",
     [](Ws& ws) {
       fs::create_directory(ws.Path("windows/PXEquip.ini"));
       ws.Write("windows/PXEquip.ini.20260101-000000-000.bak", kGood);
     }},
    // 3. A value the code page cannot hold.
    {kGood,
     "add|Review iVitara|--data|C:\\\xce\x95\xce\xb9\xce\xba\xcf\x8c\xce\xbd\xce\xb5\xcf\x82", 2,
     "the plug-in would read \"EquipDataPath=C:\\???????\""},
    // 4. A read-only file is refused; a replaced one keeps its mode. A folder
    // this user cannot write: nothing written, no backup (exit 3).
    {kGood, "set|Review Vessara|--data|C:\\X", 2, "is read-only", "",
     [](Ws& ws) { Chmod(ws, "windows/PXEquip.ini", perms::owner_read | perms::others_read); },
     true},
    {kGood, "receive-log|on", 0, "Written",
     Good({{"Vessara\r\n\r\n", "Vessara\r\nWriteReceiveDataLog=YES\r\n\r\n"}}),
     [](Ws& ws) { Chmod(ws, "windows/PXEquip.ini", perms::owner_read | perms::owner_write); }},
    {kGood, "remove|Review Vessara", 3, "Nothing was changed.", "",
     [](Ws& ws) {
       Chmod(ws, "windows", perms::owner_read | perms::owner_exec | perms::others_exec);
       if (geteuid() == 0) (void)!chown(ws.Path("windows/PXEquip.ini").c_str(), 65534, 65534);
     },
     true},
    // 5. Every edit keeps a backup of its own; --dry-run writes nothing; restore.
    {kGood, "set|Capture Vessara|--label|A;set|Capture Vessara|--label|OCT", 0, "Backup",
     Good({{"cap:", "OCT:"}})},
    {kGood, "--dry-run|set|Capture Vessara|--label|A", 0, "A:Tavirex:Capture Vessara\nNothing was"},
    // A label for a function listed twice goes to the entry the lookup reads.
    {"[Equipment]\nNumber=2\n1=21:a:Tavirex:Capture Vessara\n2=21:b:Tavirex:Capture Vessara\n",
     "set|Capture Vessara|--label|X", 0, "",
     "[Equipment]\nNumber=2\n1=21:X:Tavirex:Capture Vessara\n2=21:b:Tavirex:Capture Vessara\n"},
    {kGood, "remove|Review Vessara;restore", 0, "Restoring", kGood},
    // 6. What a capture would meet: files left in the drop folder, names
    // Windows refuses, a store path with no room for the image names.
    {kGood, "check", 1, "holds 2 file(s), the oldest 12_OD.jpg", "",
     [](Ws& ws) {
       ws.Write("Export/12_OS.jpg", ""), ws.Write("Export/12_OD.jpg", "");
       fs::last_write_time(ws.Path("Export/12_OD.jpg"), fs::file_time_type::clock::now() - 30h);
     }},
    {kGood, "add|Review iPedra|--data|C:\\Images\\a?b", 2, "'?', which Windows refuses"},
    {kGood, "set|Review Vessara|--data|C:\\Im\\CON.x", 2, "names the device CON"},
    {kGood, "check", 1, "leaves 45 characters for an image name", "",
     [](Ws& ws) {
       ws.WriteEquipIni(Good({{"C:\\Images", "C:\\" + std::string(210, 'a')}}));
     }},
    // 7. One problem, with its path, for a missing praxo32.ini; a UTF-16
    // file reads as the plug-in reads it, and both commands say it.
    {kGood, "check", 1, "Problems (1):\n  1. praxo32.ini is missing (", "",
     [](Ws& ws) { fs::remove(ws.Path("windows/praxo32.ini")); }},
    {nullptr, "check", 1, "Problems (1):\n  1. /", "", Utf16Good},
    {nullptr, "list", 1, "is a Unicode (UTF-16) file", "", Utf16Good},
    {"[Equipment]\nNumber=1\n1=z\n", "list", 0, "not this plug-in's entry"},
    // 8. Whatever check flags, a command repairs.
    {"[Equipment]\r\nNumber=2\r\n1=2:r:Tavirex:Review vessara\r\n2=3:c:Tavirex:Capture Corvana\r\n",
     "remove|1=2:r:Tavirex:Review vessara", 0, "",
     "[Equipment]\r\nNumber=1\r\n1=3:c:Tavirex:Capture Corvana\r\n"},
    {"[Equipment]\r\nWriteReceiveDataLog=YES  ; on\r\n", "check;receive-log|on", 0,
     "set it with tavirex-config receive-log", "[Equipment]\r\nWriteReceiveDataLog=YES\r\n"},
    // 10. Unknown names get the nearest; each help is its own command's.
    {kGood, "chek", 2, "unknown command \"chek\" (did you mean check?)"},
    {kGood, "add|Review Corvana|--dat|C:\\x", 2, "unknown option --dat (did you mean --data?)"},
    {kGood, "add|--help", 0, "!Exit codes"},
    {kGood, "server|--help", 0, "Without\n\"ServerConnectionClass\" it creates nothing"},
    // 11. The Windows directory and the INI files are found whatever their case.
    {nullptr, "check", 0, "/Windows/PXEquip.ini\n", "",
     [](Ws& ws) {
       fs::rename(ws.Path("windows"), ws.Path("Windows")), ws.Write("Windows/PXEquip.ini", kGood);
     }},
    // The DICOM outbox: set, then checked against the image folders and readers.
    {kGood, "outbox|C:\\Images\\Outbox;check", 1, "lies in, Capture Vessara's store folder",
     Good() + "\r\n[Tavirex]\r\nDicomOutbox=C:\\Images\\Outbox\r\n",
     [](Ws& ws) { fs::create_directories(ws.Path("Images/Outbox")); }},
    {"[Tavirex]\nDicomOutbox=C:\\Outbox\n", "check", 1, "can be read by every user", "",
     [](Ws& ws) { fs::create_directories(ws.Path("Outbox")), Chmod(ws, "Outbox", perms::all); }},
    // With an outbox, whether the forwarder's service is here: never a problem.
    {kGood, "check", 0, "!DICOM forwarder", "", nullptr, false, Service::kRunning},
    {kGoodOutbox.c_str(), "check", 0,
     "DICOM forwarder the service tavirex-dicom is installed and running; an administrator sees "
     "its queue with: tavirex-dicom status\n",
     "", PrivateOutbox, false, Service::kRunning},
    {kGoodOutbox.c_str(), "check", 0, "installed but stopped (start it: sc start tavirex-dicom);",
     "", PrivateOutbox, false, Service::kStopped},
    {kGoodOutbox.c_str(), "check|--json", 0,
     "\"state\": \"not installed\",\n    \"text\": \"the service tavirex-dicom is not installed "
     "on this computer (it may run on the file server); where it runs, an administrator",
     "", PrivateOutbox, false, Service::kNotInstalled},
    {kGoodOutbox.c_str(), "check", 0, "forwarder this system has no service manager to ask; where",
     "", PrivateOutbox}};

// Runs `run` with the rights of an ordinary user (nobody, without root's
// groups) when this is root; root's saved IDs bring them back.
int AsOrdinaryUser(const std::function<int()>& run) {
  if (geteuid() != 0) return run();
  std::vector<gid_t> groups(getgroups(0, nullptr));
  groups.resize(getgroups(static_cast<int>(groups.size()), groups.data()));
  EXPECT_EQ(setgroups(0, nullptr) + setegid(65534) + seteuid(65534), 0);
  const int code = run();
  EXPECT_EQ(seteuid(0) + setegid(0) + setgroups(groups.size(), groups.data()), 0);
  return code;
}

TEST(ConfigTool, CommandsTable) {
  for (const ToolCase& c : kCases) {
    SCOPED_TRACE(c.args);
    testing::Workstation ws;
    Praxo(ws);
    for (const char* folder : {"Export", "Images"}) fs::create_directories(ws.Path(folder));
    ws.Write("Vendor/CreatePatient.exe", "MZ");
    const std::string ini = c.ini ? c.ini : "";
    if (c.ini) ws.WriteEquipIni(ini);
    fs::permissions(ws.root(), perms::others_read | perms::others_exec, fs::perm_options::add);
    if (c.setup) c.setup(ws);
    const Folder before = ws.Contents("windows");
    const auto mode = fs::status(ws.Path("windows/PXEquip.ini")).permissions();
    std::ostringstream out;
    config::ToolContext context{ws.platform(), ws.platform().ProfileFilePath(kEquipIniFileName),
                                out, out};
    context.find_service = [&](const std::string& name) {
      EXPECT_EQ(name, "tavirex-dicom");
      return ServiceStatus{c.service, ""};
    };
    int code = 0;
    for (const std::string& line : Split(c.args, ';')) {
      auto run = [&] { return config::RunConfigTool(Split(line, '|'), context); };
      code = c.as_user ? AsOrdinaryUser(run) : run();
    }
    const std::string printed = out.str();
    EXPECT_EQ(code, c.exit_code) << printed;
    EXPECT_EQ(printed.find(c.text.substr(c.text.starts_with("!"))) == std::string::npos,
              c.text.starts_with("!"))
        << printed;
    Folder files = ws.Contents("windows");
    if (c.after.empty()) {
      EXPECT_EQ(files, before);  // every byte of the file and of every backup
    } else {                     // the edit with its mode, the old file as the oldest new backup
      EXPECT_EQ(files["PXEquip.ini"], c.after);
      EXPECT_TRUE(!c.ini || fs::status(ws.Path("windows/PXEquip.ini")).permissions() == mode);
      auto backup = std::find_if(files.begin(), files.end(), [&](const auto& file) {
        return file.first.ends_with(".bak") && before.count(file.first) == 0;
      });
      EXPECT_EQ(backup == files.end() ? "" : backup->second, ini);
    }
    EXPECT_EQ(ws.user().boxes, std::vector<std::string>{});
    std::error_code renamed;  // so that a user who is not root can remove it
    fs::permissions(ws.Path("windows"), perms::all, renamed);
  }
}

// tavirex-host checks every step before it creates the object, and stops at
// the first one that fails unless told to go on.
TEST(HostTool, ChecksEveryStepFirstAndStopsAtAFailure) {
  // The arguments separated by "|"; whether it creates the object.
  const std::tuple<std::string, int, std::string, bool> cases[] = {
      {"PATIENTD=77-1|CaptureDevice", 2, "\"PATIENTD\" (did you mean PATIENTID?)", false},
      {"LogoToolTip=x", 2, "LogoToolTip is read-only", false},
      {"ExamRecNum=40O1", 2, "ExamRecNum takes a whole number", false},
      {"CaptureDevice:now", 2, "CaptureDevice takes no argument", false},
      {"-V", 2, "unknown option -V (did you mean --version?)", false},
      // Corvana is not configured, and its default vendor program is missing.
      {"DeviceName=Capture Corvana|CaptureDevice|GetPraxoDBPath", 1,
       "(see its message box; failures are also in PX_IF_Tavirex.err beside the DLL)\n"
       "tavirex-host: stopped after step 2 of 3",
       true},
      {"--keep-going|DeviceName=Capture Corvana|CaptureDevice|GetPraxoDBPath", 1,
       "GetPraxoDBPath -> C:\\Praxo\\Data\n", true},
      {"ExamRecNum=42|examrecnum|fun_sFixString:O'Brien", 0,
       "ExamRecNum = 42\nfun_sFixString(O'Brien) -> O''Brien\n", true},
      // 9. A device name outside the catalogue: said before the run, and no box.
      {"DeviceName=Revew Vessara|DoDeviceFunction", 1,
       "without a message box: nothing was run for DeviceName \"Revew Vessara\"", true},
      {"DeviceName=Review Foo|NumPatientImageFiles", 0,
       "\"Review Foo\" is not one of the plug-in's device names", true},
      {"WriteToLog:no object", 3, "cannot create Tavirex.clsTavirex: Err 429", true}};
  for (const auto& [args, exit_code, text, creates] : cases) {
    SCOPED_TRACE(text);
    testing::Workstation ws;
    Praxo(ws);
    int created = 0;
    host::DriverFactory factory{"", true, [&] {
                                  ++created;
                                  if (args == "WriteToLog:no object") throw VbError(429);
                                  return host::MakeDirectDriver(ws.user(), ws.window());
                                }};
    std::ostringstream out;  // and errors
    EXPECT_EQ(host::RunHostTool(Split(args, '|'), factory, out, out), exit_code) << out.str();
    EXPECT_NE(out.str().find(text), std::string::npos) << out.str();
    EXPECT_EQ(created, creates ? 1 : 0);
  }
}

}  // namespace
}  // namespace tavirex
