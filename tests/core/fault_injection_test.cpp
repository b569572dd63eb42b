// Captures whose disk fails at every possible step, and two captures into one
// store folder at once: no exported image is ever lost or damaged.
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace tavirex {
namespace {

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

void Prepare(Workstation& ws, const std::vector<std::pair<std::string, const Folder*>>& drops) {
  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\nDataDir=C:\\D\n");
  ws.WriteEquipIni(kEquipIni);
  ws.Write("V.exe", "MZ");
  fs::create_directories(ws.Path("Store"));
  for (const auto& [drop, files] : drops) {
    for (const auto& [name, bytes] : *files) ws.Write(drop + "/" + name, bytes);
  }
}

std::string Capture(Workstation& ws, const std::string& device, std::int32_t exam) {
  ClsTavirex& object = ws.NewObject(device);
  object.props().ExamRecNum = exam;
  return object.CaptureDevice();
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
      const Folder drop = ws.Contents("Drop");
      Folder store = ws.Contents("Store");
      for (int i = 0; i < static_cast<int>(listing.size()); ++i) {
        const std::string& name = listing[i];
        const std::string& bytes = exported.at(name);
        const Where where = i + 1 < k ? kMoved : i + 1 == k ? failing : kUntouched;
        EXPECT_TRUE((drop.count(name) ? drop.at(name) : "") == (where == kMoved ? "" : bytes))
            << name;
        const std::string expected = where == kHalfCopy ? bytes.substr(0, bytes.size() / 2)
                                     : where == kInBoth || (where == kMoved && answers == "O")
                                         ? bytes
                                         : "";
        auto it = store.find(Stored(name, 1042));
        EXPECT_TRUE((it == store.end() ? "" : it->second) == expected) << name;
        if (it != store.end()) store.erase(it);
      }
      EXPECT_TRUE(store.empty());
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

    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready) + ::pipe(go), 0);
    std::vector<pid_t> children;
    for (const auto& [device, exam] :
         {std::pair{"Capture Vessara", 1042},
          std::pair{shared ? "Capture Vessara" : "Capture Corvana", 1043}}) {
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {  // at the waiting box: ready, then wait for the go
        ws.user().on_box = [&](const std::string& box) {
          char c = 'r';
          if (box.rfind("Tavirex Capture|", 0) != 0) return;
          if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 1) ::_exit(3);
        };
        ws.user().answers = "O";
        ::_exit(Capture(ws, device, exam) == "Was OK" ? 0 : 1);
      }
      children.push_back(pid);
    }
    char signal[2];
    EXPECT_EQ(::read(ready[0], signal, 1) + ::read(ready[0], signal + 1, 1), 2);
    EXPECT_EQ(::write(go[1], "gg", 2), 2);
    std::vector<int> results;
    for (pid_t pid : children) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      results.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);

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
    Folder store = ws.Contents("Store");
    for (const auto& [batch, exams] : {std::pair{&first, shared ? "1042 1043" : "1042"},
                                       std::pair{&second, shared ? "" : "1043"}}) {
      for (const auto& [name, bytes] : *exams ? *batch : Folder{}) {
        bool found = false;
        for (const std::string exam : {"1042", "1043"}) {
          auto it = store.find(Stored(name, std::stoi(exam)));
          if (it == store.end() || std::string(exams).find(exam) == std::string::npos) continue;
          EXPECT_TRUE(it->second == bytes) << name << " damaged";
          found = true;
          store.erase(it);
        }
        EXPECT_TRUE(found) << name << " lost";
      }
    }
    EXPECT_TRUE(store.empty());
  }
}

}  // namespace
}  // namespace tavirex
