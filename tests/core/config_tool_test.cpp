// tavirex-config against real INI files of a temporary workstation: what check
// reports, what add writes and whether the plug-in's own lookup reads it back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "capture/capture_settings.h"
#include "interface/cls_tavirex.h"
#include "interface/equip_settings.h"
#include "test_support.h"
#include "tools/config/config_tool.h"
#include "tools/host/direct_driver.h"
#include "tools/host/host_tool.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;

// A Vessara pair that needs nothing more: the vendor program and both
// folders exist.
constexpr const char* kGoodIni = R"([Equipment]
Number=2
1=21:cap:Tavirex:Capture Vessara
2=22:rev:Tavirex:Review Vessara
[21]
EquipProgPathFName=C:\Vendor\CreatePatient.exe
EquipDataPath=C:\Export
[22]
EquipDataPath=C:\Images
)";

// Runs of blanks as one: table rows independent of the column widths.
std::string Squeezed(const std::string& text) {
  std::string squeezed;
  for (char c : text) {
    if (c != ' ' || squeezed.empty() || squeezed.back() != ' ') squeezed += c;
  }
  return squeezed;
}

class ConfigToolTest : public ::testing::Test {
 protected:
  ConfigToolTest() {
    ws_.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\Praxo\\Data\n");
    for (const char* folder : {"Praxo/Data", "Export", "Images", "Vendor"}) {
      fs::create_directories(ws_.root() / folder);
    }
    testing::Workstation::WriteFile(ws_.root() / "Vendor/CreatePatient.exe", "MZ");
  }

  struct Result {
    int exit_code;
    std::string out;
    std::string err;
  };
  Result Run(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    config::ToolContext context{ws_.platform(), EquipIni().string(), out, err};
    int exit_code = config::RunConfigTool(args, context);
    return {exit_code, out.str(), err.str()};
  }
  fs::path EquipIni() const { return ws_.windows_dir() / "PXEquip.ini"; }
  std::string EquipIniBytes() const { return testing::Workstation::ReadFile(EquipIni()); }

  testing::Workstation ws_;
};

TEST_F(ConfigToolTest, CheckShowsWhatEachFunctionUses) {
  ws_.WriteEquipIni(kGoodIni);
  Result result = Run({"check"});
  EXPECT_EQ(result.exit_code, config::kExitOk) << result.out;
  EXPECT_NE(result.out.find("No problems found."), std::string::npos);
  // Capture's three settings, where each came from, and Review's folder.
  for (const char* row : {
           "Capture Vessara 21 program C:\\Vendor\\CreatePatient.exe configured found",
           "drop folder C:\\Export configured exists, writable",
           "store folder C:\\Images Review twin exists, writable",
           "Review Vessara 22 folder C:\\Images configured exists",
           "Capture Corvana - program C:\\KSOCTVIEW\\bin\\CreatePatient.exe default MISSING",
           "store folder C:\\Praxo\\Data drop + \\Data exists, writable",
           "Review Corvana - folder C:\\Praxo PgmsDir exists",
       }) {
    EXPECT_NE(Squeezed(result.out).find(row), std::string::npos) << row << "\n" << result.out;
  }
}

struct ProblemCase {
  const char* what;
  const char* equip_ini;  // nullptr: no PXEquip.ini
  const char* problem;    // a text of the report
  void (*prepare)(const fs::path& module_dir) = nullptr;
};

const ProblemCase kProblemCases[] = {
    {"Number over 32767", "[Equipment]\nNumber=40000\n1=21:cap:Tavirex:Capture Vessara\n",
     "\"Number\" is 40000, beyond 32767: every lookup fails (Err 6 Overflow)"},
    {"equipment number not a number", "[Equipment]\nNumber=1\n1=x21:cap:Tavirex:Capture Vessara\n",
     "Capture Vessara: the plug-in's lookup of its entry fails (Err 13 Type mismatch)"},
    {"equipment number beyond 16 bits",
     "[Equipment]\nNumber=1\n1=40000:rev:Tavirex:Review Vessara\n",
     "Review Vessara: the plug-in's lookup of its entry fails (Err 6 Overflow): Review and Count "
     "fail"},
    {"Review twin not configured",
     "[Equipment]\nNumber=1\n1=21:cap:Tavirex:Capture Vessara\n"
     "[21]\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\nEquipDataPath=C:\\Export\n",
     "Capture Vessara: stores into C:\\Export\\Data but Review Vessara lists C:\\Praxo: captured "
     "images will not show in Review"},
    {"vendor program missing",
     "[Equipment]\nNumber=2\n1=21:cap:Tavirex:Capture Vessara\n2=22:rev:Tavirex:Review Vessara\n"
     "[21]\nEquipDataPath=C:\\Export\n[22]\nEquipDataPath=C:\\Images\n",
     "Capture Vessara: the vendor program C:\\KSOCTVIEW\\bin\\CreatePatient.exe is missing"},
    {"drop folder beyond a missing parent",
     "[Equipment]\nNumber=2\n1=21:cap:Tavirex:Capture Vessara\n2=22:rev:Tavirex:Review Vessara\n"
     "[21]\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\nEquipDataPath=C:\\No\\Export\n"
     "[22]\nEquipDataPath=C:\\Images\n",
     "drop folder C:\\No\\Export is missing and so is its parent: Capture fails (Err 76"},
    {"drop folder is the store folder",
     "[Equipment]\nNumber=2\n1=21:cap:Tavirex:Capture Vessara\n2=22:rev:Tavirex:Review Vessara\n"
     "[21]\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\nEquipDataPath=C:\\Images\n"
     "[22]\nEquipDataPath=c:\\images\\\n",
     "drop folder and store folder are the same"},
    {"entry after Number",
     "[Equipment]\nNumber=1\n1=21:cap:Tavirex:Capture Vessara\n2=22:rev:Tavirex:Review Vessara\n",
     "entry 2=22:rev:Tavirex:Review Vessara: after entry 1 (\"Number\"): never read"},
    {"a colon in the label",
     "[Equipment]\nNumber=1\n1=21:OCT: review:Tavirex:Review Vessara\n[21]\nEquipDataPath=C:\\I\n",
     "5 fields, never matches"},
    {"name outside the catalogue", "[Equipment]\nNumber=1\n1=21:cap:Tavirex:capture Vessara\n",
     "\"capture Vessara\" is no device name"},
    {"second entry for one function",
     "[Equipment]\nNumber=2\n1=21:a:Tavirex:Review Vessara\n2=22:b:Tavirex:Review Vessara\n",
     "entry 2=22:b:Tavirex:Review Vessara: entry 1 lists it first: never used"},
    {"UTF-8 byte-order mark", "\xEF\xBB\xBF[Equipment]\nNumber=0\n",
     "PXEquip.ini starts with a UTF-8 byte-order mark"},
    {"no PXEquip.ini", nullptr, "PXEquip.ini is missing"},
    {"a folder with an inline comment",
     "[Equipment]\nNumber=2\n1=21:cap:Tavirex:Capture Vessara\n2=22:rev:Tavirex:Review Vessara\n"
     "[21]\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\nEquipDataPath=C:\\Export  ; drop\n"
     "[22]\nEquipDataPath=C:\\Images\n",
     "Capture Vessara: \"EquipDataPath\" of [21] is \"C:\\Export  ; drop\", which carries an "
     "inline "
     "comment"},
    {"the log switch with an inline comment",
     "[Equipment]\nNumber=0\nWriteReceiveDataLog=YES ; on\n",
     "\"WriteReceiveDataLog\" of [Equipment] is \"YES ; on\", which carries an inline comment"},
    {"a quote the profile API leaves", "[Equipment]\nNumber=\"2\n",
     "\"Number\" of [Equipment] is \"\"2\", which keeps a quote"},
    {"a read-only error file", kGoodIni,
     "cannot be appended to by this user (Err 75 Path/File access error)",
     [](const fs::path& module_dir) {
       testing::Workstation::WriteFile(module_dir / "PX_IF_Tavirex.err", "old\r\n");
       fs::permissions(module_dir / "PX_IF_Tavirex.err", fs::perms::owner_read);
     }},
    {"no log folder", kGoodIni, "cannot be created by this user (Err 76 Path not found)",
     [](const fs::path& module_dir) { fs::remove_all(module_dir); }},
};

TEST_F(ConfigToolTest, CheckReportsEachProblemAndExitsOne) {
  for (const ProblemCase& problem_case : kProblemCases) {
    SCOPED_TRACE(problem_case.what);
    fs::remove(EquipIni());
    if (problem_case.equip_ini) ws_.WriteEquipIni(problem_case.equip_ini);
    fs::remove_all(ws_.module_dir());
    fs::create_directory(ws_.module_dir());
    if (problem_case.prepare) problem_case.prepare(ws_.module_dir());
    Result result = Run({"check"});
    EXPECT_EQ(result.exit_code, config::kExitProblems);
    EXPECT_NE(result.out.find(problem_case.problem), std::string::npos) << result.out;
  }
  fs::create_directory(ws_.module_dir());
}

TEST_F(ConfigToolTest, CheckReportsTheHostIniBoxesInsteadOfShowingThem) {
  ws_.WriteHostIni("[System]\nDataDir=C:\\Praxo\\Data\n");
  ws_.WriteEquipIni(kGoodIni);
  Result result = Run({"check"});
  EXPECT_EQ(result.exit_code, config::kExitProblems);
  EXPECT_NE(result.out.find("the plug-in shows the message \"Unable to find or read the "
                            "praxo32.ini file.\" (title \"\")"),
            std::string::npos)
      << result.out;
  EXPECT_TRUE(ws_.Boxes().empty());
}

// Both functions of one model, one after the other, into a new file: the
// plug-in's own lookup finds both, and Capture stores where Review lists.
TEST_F(ConfigToolTest, AddConfiguresAModelThePluginReadsBack) {
  Result capture = Run({"add", "Capture", "Vessara", "--data", "C:\\Export", "--program",
                        "C:\\Vendor\\CreatePatient.exe"});
  ASSERT_EQ(capture.exit_code, config::kExitOk) << capture.err;
  EXPECT_NE(capture.out.find("tavirex-config add \"Review Vessara\" --data"), std::string::npos);
  EXPECT_FALSE(fs::exists(EquipIni().string() + ".bak"));  // there was nothing to keep
  Result review = Run({"add", "Review Vessara", "--data", "C:\\Images", "--label", "OCT review"});
  ASSERT_EQ(review.exit_code, config::kExitOk) << review.err;

  EXPECT_EQ(
      EquipIniBytes(),
      "[Equipment]\r\nNumber=2\r\n1=1:Capture Vessara:Tavirex:Capture Vessara\r\n"
      "2=2:OCT review:Tavirex:Review Vessara\r\n\r\n"
      "[1]\r\nEquipProgPathFName=C:\\Vendor\\CreatePatient.exe\r\nEquipDataPath=C:\\Export\r\n"
      "\r\n[2]\r\nEquipDataPath=C:\\Images\r\n");

  HostModule module(ws_.platform());
  ClsTavirex object(module, ws_.window());
  EXPECT_EQ(object.GetEquipNumber("Tavirex:Capture Vessara"), 1);
  EXPECT_EQ(object.ReadDeviceSetting("Review Vessara", kEquipDataPathKey), "C:\\Images");
  object.props().DeviceName = "Capture Vessara";
  CaptureSettings settings = SettleCaptureSettings(object);
  EXPECT_EQ(settings.program_path, "C:\\Vendor\\CreatePatient.exe");
  EXPECT_EQ(settings.drop_folder, "C:\\Export");
  EXPECT_EQ(settings.store_folder, "C:\\Images");

  Result check = Run({"check"});
  EXPECT_EQ(check.exit_code, config::kExitOk) << check.out;
  EXPECT_EQ(check.out.find("will not show"), std::string::npos);
}

// A hand-kept file: every byte outside the three edits stays, the line ends
// of the file are kept, and the old file is the backup.
TEST_F(ConfigToolTest, AddKeepsTheRestOfTheFileByteForByte) {
  for (std::string eol : {"\n", "\r\n"}) {
    SCOPED_TRACE(eol == "\n" ? "LF" : "CRLF");
    auto lines = [&](std::initializer_list<const char*> texts) {
      std::string bytes;
      for (const char* text : texts) bytes += text + eol;
      return bytes;
    };
    const std::string head = lines({"; Equipment of room 2", "", "[Other]", "a = 1",
                                    "[ equipment ]", "WriteReceiveDataLog=yes"});
    const std::string entries = lines({"1=1:Lens meter:Lensy:LM 7", "; the OCT:"});
    const std::string tail = lines({"", "; settings", "[2]", "Port=COM1"});
    const std::string original = head + "Number = 1  ; one device" + eol + entries + tail;
    ws_.WriteEquipIni(original);

    Result result = Run({"add", "Review Vessara", "--data", "C:\\Images"});
    ASSERT_EQ(result.exit_code, config::kExitOk) << result.err;
    // Number 1 is taken by an entry and 2 by a section: the new number is 3.
    EXPECT_EQ(EquipIniBytes(),
              head + "Number = 2  ; one device" + eol +
                  lines({"1=1:Lens meter:Lensy:LM 7", "2=3:Review Vessara:Tavirex:Review Vessara",
                         "; the OCT:"}) +
                  tail + lines({"", "[3]", "EquipDataPath=C:\\Images"}));
    EXPECT_EQ(testing::Workstation::ReadFile(EquipIni().string() + ".bak"), original);

    Result list = Run({"list"});
    EXPECT_NE(Squeezed(list.out).find("2 3 Review Vessara Review Vessara C:\\Images"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("not this plug-in's entry"), std::string::npos);
  }
}

// Files that lack a part of the list: the count, the section, a last line end.
TEST_F(ConfigToolTest, AddCompletesAnIncompleteList) {
  struct Completion {
    const char* before;
    const char* after;
  };
  const Completion completions[] = {
      {"[Equipment]\r\nWriteReceiveDataLog=YES",
       "[Equipment]\r\nNumber=1\r\nWriteReceiveDataLog=YES\r\n"
       "1=1:Review Corvana:Tavirex:Review Corvana\r\n\r\n[1]\r\nEquipDataPath=C:\\x\r\n"},
      {"[1]\nPort=COM2\n\n",
       "[1]\nPort=COM2\n\n[Equipment]\nNumber=1\n1=2:Review Corvana:Tavirex:Review Corvana\n"
       "\n[2]\nEquipDataPath=C:\\x\n"},
      {"[Equipment]\nNumber=x3\n",
       "[Equipment]\nNumber=1\n"
       "1=1:Review Corvana:Tavirex:Review Corvana\n\n[1]\nEquipDataPath=C:\\x\n"},
  };
  for (const Completion& completion : completions) {
    SCOPED_TRACE(completion.before);
    ws_.WriteEquipIni(completion.before);
    Result result = Run({"add", "Review Corvana", "--data", "C:\\x"});
    ASSERT_EQ(result.exit_code, config::kExitOk) << result.err;
    EXPECT_EQ(EquipIniBytes(), completion.after);
  }
}

TEST_F(ConfigToolTest, EditsRefuseAndChangeNothing) {
  ws_.WriteEquipIni(kGoodIni);
  struct Refusal {
    std::vector<std::string> args;
    const char* message;
  };
  const Refusal refusals[] = {
      {{"add", "capture iPedra", "--data", "C:\\x"}, "\"capture iPedra\" is not one of"},
      {{"add", "Capture iKora", "--data", "C:\\x"}, "  Review iPedra\n"},  // the names listed
      {{"add", "Review Vessara", "--data", "C:\\x"}, "already configured, in section [22]"},
      {{"add", "Review Corvana", "--data", "C:\\x", "--program", "C:\\p.exe"}, "--program is for"},
      {{"add", "Review Corvana", "--data", "Images"}, "is no full Windows path"},
      {{"add", "Review Corvana", "--data", "C:\\x", "--label", "a:b"}, "must not contain ':'"},
      {{"add", "Review Corvana"}, "--data is required"},
      {{"add", "Review Corvana", "--data", "C:\\x  ; store"}, "carries an inline comment"},
      {{"set", "Review Corvana", "--data", "C:\\x"}, "\"Review Corvana\" is not configured"},
      {{"set", "Review Vessara", "--program", "C:\\p.exe"}, "--program is for"},
      {{"set", "Review Vessara"}, "nothing to set"},
      {{"set", "Review Vessara", "--label", "a:b"}, "must not contain ':'"},
      {{"remove", "Capture Corvana"}, "\"Capture Corvana\" is not configured"},
      {{"remove", "capture Vessara"}, "\"capture Vessara\" is not one of"},
      {{"server", "--class", "Praxo Server"}, "neither a ProgID"},
      {{"server", "--method", "SetServerName"}, "--method requires --class"},
      {{"server"}, "--class or --clear is required"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.message);
    Result result = Run(refusal.args);
    EXPECT_EQ(result.exit_code, config::kExitRefused);
    EXPECT_NE(result.err.find(refusal.message), std::string::npos) << result.err;
    EXPECT_EQ(EquipIniBytes(), kGoodIni);
    EXPECT_FALSE(fs::exists(EquipIni().string() + ".bak"));
  }
  // A key that the new entry would take is already there, after the count.
  ws_.WriteEquipIni("[Equipment]\nNumber=1\n1=5:x:Other:Dev\n2=6:y:Other:Dev\n");
  Result result = Run({"add", "Review Corvana", "--data", "C:\\x"});
  EXPECT_EQ(result.exit_code, config::kExitRefused);
  EXPECT_NE(result.err.find("already has an entry 2"), std::string::npos) << result.err;
}

// set and remove undo set and add, server --clear undoes server: every byte
// outside the lines they change stays, line ends, comments and the file's
// code page included (arguments are UTF-8, the file Windows-1252).
TEST_F(ConfigToolTest, SetRemoveAndServerKeepEveryOtherByte) {
  const std::string original =
      "; room 2 f\xfcr OCT\r\n[Equipment]\r\nNumber = 2  ; two\r\n1=21:cap:Tavirex:Capture Vessara\r\n"
      "2=22:rev:Tavirex:Review Vessara\r\n\r\n[21]\r\n"
      "EquipProgPathFName=C:\\Vendor\\CreatePatient.exe\r\nEquipDataPath = C:\\Export\r\n"
      "; the store folder:\r\n[22]\r\nEquipDataPath=C:\\Images\r\n";
  ws_.WriteEquipIni(original);
  auto run = [&](std::vector<std::string> args) {
    Result result = Run(args);
    EXPECT_EQ(result.exit_code, config::kExitOk) << result.err;
    return EquipIniBytes();
  };
  std::string moved = original;
  moved.replace(moved.find("cap:"), 3, "OCT");
  moved.replace(moved.find("C:\\Export"), 9, "C:\\M\xfcller");
  EXPECT_EQ(run({"set", "Capture Vessara", "--data", "C:\\M\xc3\xbcller", "--label", "OCT"}), moved);
  EXPECT_EQ(testing::Workstation::ReadFile(EquipIni().string() + ".bak"), original);
  EXPECT_EQ(run({"set", "Capture Vessara", "--data", "C:\\Export", "--label", "cap"}), original);
  run({"add", "Review Corvana", "--data", "C:\\Images"});
  EXPECT_EQ(run({"remove", "Review Corvana"}), original);

  run({"server", "--class", "Praxo.ServerConnection", "--method", "SetServer"});
  EXPECT_NE(Run({"check"}).out.find("Server class    Praxo.ServerConnection"), std::string::npos);
  EXPECT_EQ(run({"server", "--clear"}), original);

  // The first of two entries: the second moves up, the first's section goes,
  // the comment before the next section stays.
  EXPECT_EQ(run({"remove", "Capture Vessara"}),
            "; room 2 f\xfcr OCT\r\n[Equipment]\r\nNumber = 1  ; two\r\n1=22:rev:Tavirex:Review Vessara\r\n"
            "\r\n; the store folder:\r\n[22]\r\nEquipDataPath=C:\\Images\r\n");
}

// The README's INI examples, pasted into a fresh workstation where the
// folders and the vendor program they name exist, check clean, also as JSON;
// the check leaves an existing log as it was and no new one behind.
TEST_F(ConfigToolTest, ReadmeExamplesCheckClean) {
  const std::string readme = testing::Workstation::ReadFile(TAVIREX_README);
  const std::regex ini_block("```ini\n([^`]*)```");
  const std::regex drive_c_value(R"(=C:\\([^\r\n]*))");
  int blocks = 0;
  for (std::sregex_iterator block(readme.begin(), readme.end(), ini_block), end; block != end;
       ++block, ++blocks) {
    const std::string text = (*block)[1];
    const bool host = text.find("[System]") != std::string::npos;
    const fs::path ini = ws_.windows_dir() / (host ? "praxo32.ini" : "PXEquip.ini");
    testing::Workstation::WriteFile(
        ini, (fs::exists(ini) ? testing::Workstation::ReadFile(ini) : std::string()) + text);
    for (std::sregex_iterator value(text.begin(), text.end(), drive_c_value); value != end;
         ++value) {
      std::string relative = (*value)[1];
      std::replace(relative.begin(), relative.end(), '\\', '/');
      const fs::path path = ws_.root() / relative;
      fs::create_directories(path.extension() == ".exe" ? path.parent_path() : path);
      if (path.extension() == ".exe") testing::Workstation::WriteFile(path, "MZ");
    }
  }
  EXPECT_EQ(blocks, 3);
  testing::Workstation::WriteFile(ws_.module_dir() / "Tavirex.log", "old\r\n");

  Result text = Run({"check"});
  EXPECT_EQ(text.exit_code, config::kExitOk) << text.out;
  EXPECT_NE(text.out.find("No problems found."), std::string::npos);
  Result json = Run({"check", "--json"});
  EXPECT_EQ(json.exit_code, config::kExitOk);
  const fs::path report = ws_.root() / "check.json";
  testing::Workstation::WriteFile(report, json.out);
  const std::string parse =
      "python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); "
      "assert len(r[\"device_functions\"]) == 16 and r[\"problems\"] == [] and "
      "[log[\"ok\"] for log in r[\"logs\"]] == [True] * 3' " +
      report.string();
  EXPECT_EQ(std::system(parse.c_str()), 0) << json.out;

  EXPECT_EQ(ws_.ModuleFile("Tavirex.log"), "old\r\n");
  EXPECT_FALSE(fs::exists(ws_.module_dir() / "PX_IF_Tavirex.err"));
}

// tavirex-host checks every step before it creates the object, and stops at
// the first one that fails.
TEST_F(ConfigToolTest, HostChecksEveryStepFirstAndStopsAtAFailure) {
  ws_.WriteEquipIni(kGoodIni);
  struct HostCase {
    std::vector<std::string> args;
    int exit_code;
    const char* text;  // in what it printed
    bool creates;      // the object
  };
  const HostCase cases[] = {
      {{"PATIENTD=77-1", "ExamRecNum=4001", "DeviceName=Capture Vessara", "CaptureDevice"},
       host::kExitRefused,
       "no property named \"PATIENTD\" (did you mean PATIENTID?)",
       false},
      {{"LogoToolTip=x", "GetPraxoDBPath"}, host::kExitRefused, "LogoToolTip is read-only", false},
      {{"ExamRecNum=40O1"}, host::kExitRefused, "ExamRecNum takes a whole number", false},
      {{"CaptureDevic"}, host::kExitRefused, "(did you mean CaptureDevice?)", false},
      {{"CaptureDevice:now"}, host::kExitRefused, "CaptureDevice takes no argument", false},
      {{"LoadEquipProps"}, host::kExitRefused, "LoadEquipProps needs a device name", false},
      // Corvana is not configured, and its default vendor program is missing.
      {{"PATIENTID=77-1", "DeviceName=Capture Corvana", "CaptureDevice", "GetPraxoDBPath"},
       host::kExitStepFailed,
       "stopped after step 3 of 4",
       true},
      {{"--keep-going", "DeviceName=Capture Corvana", "CaptureDevice", "GetPraxoDBPath"},
       host::kExitStepFailed,
       "GetPraxoDBPath -> C:\\Praxo\\Data\n",
       true},
      {{"ExamRecNum=42", "examrecnum", "fun_sFixString:O'Brien"},
       host::kExitOk,
       "ExamRecNum = 42\nfun_sFixString(O'Brien) -> O''Brien\n",
       true},
      {{"--version"}, host::kExitOk, "tavirex-host " TAVIREX_VERSION "\n", false},
  };
  for (const HostCase& host_case : cases) {
    SCOPED_TRACE(host_case.text);
    int created = 0;
    host::DriverFactory factory{"", true, [&] {
                                  ++created;
                                  return host::MakeDirectDriver(ws_.platform(), ws_.window());
                                }};
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(host::RunHostTool(host_case.args, factory, out, err), host_case.exit_code);
    EXPECT_NE((out.str() + err.str()).find(host_case.text), std::string::npos)
        << out.str() << err.str();
    EXPECT_EQ(created, host_case.creates ? 1 : 0);
  }
  // Only the two captures that ran showed a box: the vendor program is missing.
  EXPECT_EQ(ws_.Boxes(), std::vector<std::string>(2, "Attention|File Not Found|0"));
}

}  // namespace
}  // namespace tavirex
