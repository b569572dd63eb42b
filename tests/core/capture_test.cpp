// The capture workflow on real folders, the vendor program played by the
// scripted user: stored names, the import, DoDeviceFunction, a disk failing at
// every step and two captures at once: no exported image is lost or damaged;
// the outbox job a capture leaves for the DICOM forwarder.
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "forwarder/job.h"
#include "plugin/capture.h"
#include "plugin/outbox.h"
#include "test_support.h"

namespace tavirex {
namespace {

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
     "", "/", "", kNoProgram, "", "Export", "Export/Data", kKept}};

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
    EXPECT_EQ(ws.user().launched, c.program.empty()
                                      ? Boxes{}
                                      : Boxes{"open " + c.program + "CreatePatient.exe|" +
                                              parameters + "|" + c.program + "|5"});
    EXPECT_EQ(fs::current_path(),
              c.program.empty() ? cwd : ws.Path(c.program == kKs ? "KSOCTVIEW/bin" : "Vendor"));
    EXPECT_TRUE(fs::is_directory(ws.Path(c.store)));
    EXPECT_EQ(ws.Contents(c.drop), c.outcome == kKept ? exported : Folder{});
    for (const char* store : {"Praxo/Data", "Store", "Export/Data"}) {
      EXPECT_EQ(ws.Contents(store), store == c.store && c.outcome == kMoved ? stored : Folder{});
    }
    EXPECT_EQ(ws.Log("Tavirex.log"), "");
  }
}

// A failure is logged with the step it happened in (its error entry and box
// are in OneJobAfterAWholeImport).
TEST(Capture, FailureLineCarriesTheCheckpoint) {
  Workstation ws;
  ws.WriteHostIni("[System]\nDataDir=C:\\D\n");  // no folder to drop into
  ClsTavirex& object = ws.NewObject("Capture iBlendo");
  EXPECT_EQ(object.CaptureDevice(), "");
  EXPECT_EQ(ws.Log("Tavirex.log"),
            kStamp + " CaptureDevice, Err Number: 76 Err Description: Path not found 1\r\n");
  fs::remove_all(ws.Path("module"));  // when the log cannot be written, the caller hears
  EXPECT_NE(ErrorOf([&] { object.CaptureDevice(); }), 0);
}

TEST(Capture, VendorParameters) {
  const struct {
    std::string patient, last, middle, parameters;
  } cases[] = {{"12-3456-789", "Doe", "", R"("123456789" "Doe" "Ann" "n/a" F 1/2/60 "n/a" D 1)"},
               {"1234-5678-9012-3456-78", "O\"Neil", " ",
                R"("1234567890123456" "O"Neil" "Ann" " " F 1/2/60 "n/a" D 1)"},
               // 16 UTF-16 units; the emoji's pair would be cut and is left out whole.
               {"Zoë-Ω東京-łódź-12345😀", "Doe", "M",
                R"("ZoëΩ東京łódź12345" "Doe" "Ann" "M" F 1/2/60 "n/a" D 1)"}};
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
  const std::string failed = ErrorBox("13  Type mismatch", failure);
  const struct {
    std::string device, entry, result, seen;
  } cases[] = {{"Capture Vessara", "", "", kNoProgram},
               {"Review Vessara", "", "Was OK", "window\n"},
               {"review vessara", "", "", ""},
               {"Review Capture", "", "Was OK", kNoProgram + "window\n"},  // Capture first
               {"Review Vessara", "x:y:Tavirex:Review Vessara", "", failed},
               // Only Review looks up "Capture Capture".
               {"Capture Review", "x:y:Tavirex:Capture Capture", "Was OK",
                kWait + "drop|1\n" + kDelete + failed}};
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
      EXPECT_EQ(ErrorOf([&] { object.ReviewDevice(); }), 13);  // passed on when direct
    }
  }
}

TEST(Import, ParseFileNamePutsTheExamAfterTheFirstUnderscore) {
  Workstation ws;
  ClsTavirex& object = ws.NewObject();
  const std::tuple<std::string, std::int32_t, std::string> cases[] = {
      {"P1_A.jpg", 42, "C:\\Store\\P1_42_A.jpg"},
      {"A.jpg", 42, "C:\\Store\\42_A.jpg"},
      {"_x", 42, "C:\\Store\\_42_x"},
      {"", 42, "C:\\Store\\42_"},
      {"P1_A_B.jpg", -7, "C:\\Store\\P1_-7_A_B.jpg"},
      {"P1_A.jpg", 0, "C:\\Store\\P1_0_A.jpg"}};
  for (const auto& [exported, exam, stored] : cases) {
    object.props().ExamRecNum = exam;
    EXPECT_EQ(object.ParseFileName(exported, "C:\\Store"), stored);
  }
  EXPECT_EQ(ErrorOf([&] { object.ParseFileName(std::nullopt, "C:\\Store"); }), 94);
}

// One import or clearing: the files are "name=bytes", the store's there
// before. A failure at one file of the listing is in Faults.
struct DropCase {
  std::string drop, store;
  int error;
  bool clear = false;  // ClearDropFolder instead of the import
};

const DropCase kDropCases[] = {{"", "", 0},
                               {"P1_A.jpg=a A.jpg=b _x=c .hidden=d", "", 0},
                               {"P1_A.jpg=new", "P1_42_A.jpg=old", 0},
                               {"P1_A.jpg=a p1_a.JPG=b P1_C.jpg=c", "", 457},
                               {"P1_A.jpg=a B=b", "", 0, true},
                               {"P1_A.jpg=a p1_a.JPG=b", "", 457, true}};

TEST(Import, ImportAndClearDropFolder) {
  for (const DropCase& c : kDropCases) {
    SCOPED_TRACE(std::string(c.clear ? "clear " : "import ") + c.drop + " / " + c.store);
    Workstation ws;
    ClsTavirex& object = ws.NewObject();
    object.props().ExamRecNum = 42;
    for (const auto& [folder, files] : {std::pair{"drop/", c.drop}, std::pair{"store/", c.store}}) {
      fs::create_directories(ws.Path(folder));
      std::istringstream entries(files);
      for (std::string entry; entries >> entry;) {
        ws.Write(folder + entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
      }
    }
    ws.Write("drop/sub/P1_S.jpg", "s");  // never imported or deleted
    const Folder exported = ws.Contents("drop");
    Folder stored = ws.Contents("store");  // and what a whole import adds
    for (const auto& [name, bytes] : c.clear || c.error ? Folder{} : exported) {
      stored[object.ParseFileName(name, "").substr(1)] = bytes;
    }
    EXPECT_EQ(ErrorOf([&] {
                c.clear ? ClearDropFolder(object, "C:\\drop")
                        : void(ImportDropFolder(object, "C:\\drop", "C:\\store"));
              }),
              c.error);
    // A listing that fails handles no file.
    EXPECT_EQ(ws.Contents("drop"), c.error ? exported : Folder{});
    EXPECT_EQ(ws.Contents("store"), stored);
    EXPECT_TRUE(fs::exists(ws.Path("drop/sub/P1_S.jpg")));
    EXPECT_FALSE(fs::exists(ws.Path("store/sub")));
  }
}

TEST(Import, MissingFolderAndImportIntoItself) {
  Workstation ws;
  ClsTavirex& object = ws.NewObject();
  object.props().ExamRecNum = 42;
  EXPECT_EQ(ErrorOf([&] { ImportDropFolder(object, "C:\\missing", "C:\\store"); }), 76);
  EXPECT_EQ(ErrorOf([&] { ClearDropFolder(object, "C:\\missing"); }), 76);
  ws.Write("drop/P1_A.jpg", "a");
  ImportDropFolder(object, "C:\\drop", "C:\\drop");  // each file is renamed once
  EXPECT_EQ(ws.Contents("drop"), (Folder{{"P1_42_A.jpg", "a"}}));
}

// Two devices whose Review functions share one store folder.
const char kEquipIni[] =
    "[Equipment]\nNumber=4\n1=3:a:Tavirex:Capture Vessara\n2=4:b:Tavirex:Capture Corvana\n"
    "3=5:c:Tavirex:Review Vessara\n4=5:d:Tavirex:Review Corvana\n"
    "[3]\nEquipProgPathFName=C:\\V.exe\nEquipDataPath=C:\\Drop\n"
    "[4]\nEquipProgPathFName=C:\\V.exe\nEquipDataPath=C:\\DropB\n[5]\nEquipDataPath=C:\\Store\n";

// Exported images; the same name never has the same bytes in two batches.
Folder Exports(const std::string& tag, int count, std::size_t size) {
  Folder files;
  for (int i = 0; i < count; ++i) {
    std::string bytes(size + static_cast<std::size_t>(i) * 7919, '\0');
    for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<char>(b * (i + 3) + 1);
    files["4711_OCT_" + std::to_string(i) + ".jpg"] = bytes + tag;
  }
  return files;
}

std::string Stored(const std::string& exported, std::int32_t exam) {
  return exported.substr(0, 5) + std::to_string(exam) + "_" + exported.substr(5);
}

void Prepare(Workstation& ws, const std::vector<std::pair<std::string, const Folder*>>& drops,
             const std::string& more_settings = "") {
  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\D\n");
  ws.WriteEquipIni(kEquipIni + more_settings);
  ws.Write("V.exe", "MZ");
  fs::create_directories(ws.Path("Store"));
  for (const auto& [drop, files] : drops) {
    fs::create_directories(ws.Path(drop));
    for (const auto& [name, bytes] : *files) ws.Write(drop + "/" + name, bytes);
  }
}

std::string Capture(Workstation& ws, const std::string& device, std::int32_t exam) {
  ClsTavirex& object = ws.NewObject(device);
  object.props().ExamRecNum = exam;
  return object.CaptureDevice();
}

// Runs each step in a process of its own; where each calls `meet`, it waits
// until all are there, then they go on at once. The steps' exit codes.
using Step = std::function<int(const std::function<void()>& meet)>;
std::vector<int> AtOnce(const std::vector<Step>& steps) {
  int ready[2], go[2];
  if (::pipe(ready) + ::pipe(go) != 0) return {};
  std::vector<pid_t> children;
  for (const Step& step : steps) {
    children.push_back(::fork());
    if (children.back() == 0) {
      ::_exit(step([&] {
        char c = 'r';
        if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 1) ::_exit(3);
      }));
    }
  }
  std::string signals(steps.size(), ' ');  // a ready from each, then a go to each
  for (char& c : signals) EXPECT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(::write(go[1], signals.data(), signals.size()), std::ssize(signals));
  std::vector<int> results;
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    results.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
  return results;
}

// The listing's i-th file when the k-th copy, flush or delete fails, in an
// import or in a clearing: before k moved (or deleted), after k untouched,
// the k-th as the fault leaves it.
TEST(Faults, FailingAtEveryStepLosesNothing) {
  enum Where { kMoved, kUntouched, kInBoth, kHalfCopy };
  const std::tuple<Fault, std::string, Where, std::string> cases[] = {
      {Fault::kCopyFails, "61 Err Description: Disk full 6", kUntouched, "O"},
      {Fault::kCopyDiesHalfWay, "57 Err Description: Device I/O error 6", kHalfCopy, "O"},
      {Fault::kFlushFails, "57 Err Description: Device I/O error 6", kInBoth, "O"},
      {Fault::kDeleteFails, "70 Err Description: Permission denied 6", kInBoth, "O"},
      {Fault::kDeleteFails, "70 Err Description: Permission denied 5", kUntouched, "CY"}};
  const Folder exported = Exports("", 5, 40000);
  for (const auto& [fault, line, failing, answers] : cases) {
    for (int k = 1; k <= 5; ++k) {
      SCOPED_TRACE(line + " at step " + std::to_string(k));
      Workstation ws;
      Prepare(ws, {{"Drop", &exported}});
      const std::vector<std::string> listing = ws.platform().FolderFileNames("C:\\Drop");
      ws.user().fault = fault;
      ws.user().fault_at = k;
      ws.user().answers = answers;
      EXPECT_EQ(Capture(ws, "Capture Vessara", 1042), "");
      EXPECT_NE(ws.Log("Tavirex.log").find(" CaptureDevice, Err Number: " + line + "\r\n"),
                std::string::npos);
      Folder drop, store;  // as the fault must leave them
      for (int i = 0; i < static_cast<int>(listing.size()); ++i) {
        const std::string& name = listing[i];
        const std::string& bytes = exported.at(name);
        const Where where = i + 1 < k ? kMoved : i + 1 == k ? failing : kUntouched;
        if (where != kMoved) drop[name] = bytes;
        if (where == kHalfCopy) store[Stored(name, 1042)] = bytes.substr(0, bytes.size() / 2);
        if (where == kInBoth || (where == kMoved && answers == "O")) {
          store[Stored(name, 1042)] = bytes;
        }
      }
      EXPECT_TRUE(ws.Contents("Drop") == drop);  // not EXPECT_EQ: no 40 kB images printed
      EXPECT_TRUE(ws.Contents("Store") == store);
    }
  }
}

// Two captures for one patient with different exam numbers, run by two
// processes at once into one store folder: two devices with their own drop
// folders, or two host windows capturing from the same device.
TEST(Faults, TwoCapturesAtOnceLoseNothing) {
  for (const char* second_drop : {"DropB", "Drop"}) {
    SCOPED_TRACE(second_drop);
    const bool shared = std::string(second_drop) == "Drop";
    const Folder first = Exports("first", 40, 3000);
    const Folder second = Exports("second", 40, 3000);
    Workstation ws;
    Prepare(ws, {{"Drop", &first}, {second_drop, shared ? &first : &second}});

    auto capture = [&ws](const char* device, std::int32_t exam) -> Step {
      return [&ws, device, exam](const std::function<void()>& meet) {
        ws.user().on_box = [&](const std::string& box) {
          if (box.starts_with("Tavirex Capture|")) meet();  // at the waiting box
        };
        ws.user().answers = "O";
        return Capture(ws, device, exam) == "Was OK" ? 0 : 1;
      };
    };
    const std::vector<int> results =
        AtOnce({capture("Capture Vessara", 1042),
                capture(shared ? "Capture Vessara" : "Capture Corvana", 1043)});

    // Sharing a drop folder, the import behind stops at a file the other
    // has moved (53), and the other goes on.
    EXPECT_TRUE(ws.Contents("Drop").empty());
    EXPECT_TRUE(ws.Contents(second_drop).empty());
    EXPECT_NE(results, (std::vector<int>{1, 1}));
    if (!shared) {
      EXPECT_EQ(results, (std::vector<int>{0, 0}));
    }
    if (results != std::vector<int>{0, 0}) {
      EXPECT_NE(ws.Log("Tavirex.log").find("Err Number: 53 Err Description: File not found 6"),
                std::string::npos);
    }
    // Each export is stored whole under an exam that took it, nothing else.
    Folder allowed;  // where an export may be stored, with its bytes
    for (const auto& [name, bytes] : first) allowed[Stored(name, 1042)] = bytes;
    for (const auto& [name, bytes] : shared ? first : second) allowed[Stored(name, 1043)] = bytes;
    std::set<std::string> taken;  // the exports stored, by their bytes
    for (const auto& [name, bytes] : ws.Contents("Store")) {
      EXPECT_TRUE(allowed.count(name) && allowed[name] == bytes) << name << " damaged";
      taken.insert(bytes);
    }
    EXPECT_EQ(taken.size(), first.size() + (shared ? 0 : second.size())) << "exports lost";
  }
}

// A whole import of at least one file ends in one job, beside any other; a job
// that cannot be written leaves one error entry; the capture is otherwise the same.
TEST(Outbox, OneJobAfterAWholeImport) {
  const std::string kJob = "20261204T161240_1042";
  const std::string kFailed = " Error in: WriteOutboxJob-strOutbox=C:\\Out";
  const std::string kImportFailed =
      " CaptureDevice, Err Number: 70 Err Description: Permission denied 6";
  const struct {
    std::string outbox, answers;  // DicomOutbox; "O" imports, "CN" keeps the drop folder
    int exports;
    Fault fault;
    int fault_at;
    std::string result, job, error, box;  // the new job; the error entry; a last box
  } cases[] = {{"", "O", 2, Fault::kNone, 0, "Was OK", "", "", ""},
               {"C:\\Out", "O", 2, Fault::kNone, 0, "Was OK", "Out/" + kJob + ".job", "", ""},
               {"C:\\Busy\\", "O", 2, Fault::kNone, 0, "Was OK", "Busy/" + kJob + "-2.job", "", ""},
               {"C:\\Out", "O", 0, Fault::kNone, 0, "Was OK", "", "", ""},
               {"C:\\Out", "CN", 2, Fault::kNone, 0, "Was OK", "", "", kDelete},
               {"C:\\Out", "O", 2, Fault::kFlushFails, 3, "Was OK", "",
                kFailed + "\r\n      Error Num=57  Device I/O error", ""},
               {"C:\\Out\\f.txt", "O", 2, Fault::kNone, 0, "Was OK", "",
                kFailed + "\\f.txt\r\n      Error Num=76  Path not found", ""},
               {"C:\\Out", "O", 2, Fault::kDeleteFails, 2, "", "",
                " Error in: " + kImportFailed + "\r\n      Error Num=70  Permission denied",
                ErrorBox("70  Permission denied", kImportFailed)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outbox + " " + c.answers + " " + c.error);
    Workstation ws;
    const Folder drop =
        c.exports ? Folder{{"4711_Ωμέγα_1.jpg", "1"}, {"4711_OCT_2.jpg", "2"}} : Folder{};
    Prepare(ws, {{"Drop", &drop}}, "[Tavirex]\nDicomOutbox=" + c.outbox + "\n");
    ws.Write("Out/f.txt", "");
    ws.Write("Busy/" + kJob + ".job", "older");
    std::vector<std::string> files;
    for (const std::string& name : ws.platform().FolderFileNames("C:\\Drop")) {
      files.push_back("C:\\Store\\" + Stored(name, 1042));
    }
    ClsTavirex& object = ws.NewObject("Capture Vessara");
    TavirexProperties& p = object.props();
    // Quotes, control characters, Greek, Japanese, an emoji, a byte that is no UTF-8.
    std::tie(p.LastName, p.FirstName, p.MiddleName, p.DateOfBirth, p.Gender, p.ProviderName) =
        std::make_tuple("O\"Neil\\ Ωμέγα 東京 😀", "Ann\t\x01\r\n", "x\xff", "01/02/1960", "F",
                        "Dr. Łódź");
    p.ExamRecNum = 1042;
    ws.user().answers = c.answers;
    ws.user().fault = c.fault;
    ws.user().fault_at = c.fault_at;

    EXPECT_EQ(object.CaptureDevice(), c.result);
    EXPECT_EQ(ws.user().Shown(), kWait + "Drop|1\n" + c.box);
    EXPECT_EQ(ws.Log("PX_IF_Tavirex.err"), c.error.empty() ? "" : kStamp + c.error + "\r\n");
    EXPECT_EQ(ws.Log("Tavirex.log").empty(), c.result == "Was OK");
    EXPECT_EQ(ws.Contents("Store").size(), c.answers == "O" ? drop.size() : 0);
    // Nothing else in the outbox changes, and no temporary file is left.
    std::set<std::string> outbox = {"Out/f.txt", "Busy/" + kJob + ".job"}, left;
    if (!c.job.empty()) outbox.insert(c.job);
    for (const std::string folder : {"Out", "Busy"}) {
      for (const auto& [name, bytes] : ws.Contents(folder)) left.insert(folder + "/" + name);
    }
    EXPECT_EQ(left, outbox);
    EXPECT_EQ(ws.Read("Busy/" + kJob + ".job"), "older");
    if (c.job.empty()) continue;

    const std::string job = ws.Read(c.job);
    EXPECT_TRUE(std::all_of(job.begin(), job.end(), [](char b) { return b > 0; }));  // ASCII
    // Read back by the forwarder: every value as the host set it; text the job
    // cannot hold as UTF-8 becomes U+FFFD.
    const dicom::Job read = dicom::ReadJob(ws.Path(c.job));
    TavirexProperties expected = p;
    expected.MiddleName = "x\uFFFD";
#define TAVIREX_JOB_TEXT(Name) EXPECT_EQ(read.Name, expected.Name) << #Name;
#define TAVIREX_JOB_NUMBER(Name) EXPECT_EQ(read.Name, expected.Name) << #Name;
#include "vocabulary/job_fields.def"
    EXPECT_EQ(read.BirthDate, "1960-01-02");
    EXPECT_EQ(read.captured, "2026-12-04T16:12:40");
    EXPECT_EQ(read.files, files);
  }
}

// Two workstations writing into one outbox in one second: every job kept whole.
TEST(Outbox, TwoWritersInOneSecondKeepEveryJob) {
  constexpr int kJobs = 20;
  Workstation ws;
  ws.WriteEquipIni("[Tavirex]\nDicomOutbox=C:\\Out\n");
  fs::create_directories(ws.Path("Out"));
  std::vector<Step> writers;
  for (const std::string writer : {"A", "B"}) {
    writers.push_back([&ws, writer](const std::function<void()>& meet) {
      TavirexProperties props;
      props.LastName = writer;
      meet();  // both start together
      for (int i = 0; i < kJobs; ++i) WriteOutboxJob(ws.user(), props, {std::to_string(i)});
      return 0;
    });
  }
  EXPECT_EQ(AtOnce(writers), (std::vector<int>{0, 0}));
  std::set<std::string> jobs;
  for (const auto& [name, bytes] : ws.Contents("Out")) {
    EXPECT_TRUE(name.starts_with("20261204T161240_0") && name.ends_with(".job")) << name;
    const nlohmann::json job = nlohmann::json::parse(bytes);
    jobs.insert(job["host"]["LastName"].get<std::string>() + job["files"][0].get<std::string>());
  }
  EXPECT_EQ(jobs.size(), 2u * kJobs);
  EXPECT_EQ(ws.Log("PX_IF_Tavirex.err"), "");
}

}  // namespace
}  // namespace tavirex
