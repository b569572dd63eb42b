// tavirex-host: drives one clsTavirex object the way the host program does
// (start-up, construction, properties, operations) and prints what it sees.
// Used by technicians to check a workstation, and by the demo run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hostenv/forwarding_platform.h"
#include "hostenv/system.h"
#include "interface/cls_tavirex.h"
#include "interface/property_table.h"
#include "ui/system_view.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace {

std::string BoolText(VbBool value) { return value ? "True" : "False"; }

// The user in front of the host: every service goes to the workstation's
// platform, but a message box can be held until a folder holds the files the
// user waits for, as when the technician exports images during a capture.
class HostUser final : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;

  // The next message box waits until `folder` holds at least `count` files
  // and has stopped changing, for `limit` at most.
  void AnswerAfterFiles(std::string folder, std::size_t count, std::chrono::seconds limit) {
    wait_ = FilesWait{std::move(folder), count, limit};
  }

  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    if (wait_) {
      WaitForFiles(*wait_);
      wait_.reset();
    }
    return inner_.MessageBox(text, style, title);
  }

 private:
  struct FilesWait {
    std::string folder;
    std::size_t count;
    std::chrono::seconds limit;
  };

  std::vector<std::string> FilesIn(const std::string& folder) {
    try {
      std::vector<std::string> names = inner_.FolderFileNames(folder);
      std::sort(names.begin(), names.end());
      return names;
    } catch (const VbError&) {
      return {};  // not there yet
    }
  }

  // A writer may still be renaming its last file when the count is reached,
  // so the names must also stay the same for a few polls.
  void WaitForFiles(const FilesWait& wait) {
    using namespace std::chrono_literals;
    constexpr auto kPoll = 100ms;
    constexpr int kStablePolls = 3;
    std::cerr << "(waiting for " << wait.count << " file(s) in " << wait.folder << ")\n";
    const auto deadline = std::chrono::steady_clock::now() + wait.limit;
    std::vector<std::string> last;
    int stable = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      std::vector<std::string> names = FilesIn(wait.folder);
      stable = names == last ? stable + 1 : 0;
      if (names.size() >= wait.count && stable >= kStablePolls) return;
      last = std::move(names);
      std::this_thread::sleep_for(kPoll);
    }
    std::cerr << "(gave up waiting: " << last.size() << " file(s) in " << wait.folder << ")\n";
  }

  std::optional<FilesWait> wait_;
};

// "FOLDER:N": the folder may hold colons ("C:\x"), the count follows the last.
bool ArmFilesWait(HostUser& user, const std::string& argument) {
  const std::size_t colon = argument.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string count_text = argument.substr(colon + 1);
  if (count_text.empty() || count_text.size() > 6 ||
      count_text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  user.AnswerAfterFiles(argument.substr(0, colon), std::stoul(count_text),
                        std::chrono::seconds(60));
  return true;
}

std::string Lines(const std::vector<std::string>& items) {
  if (items.empty()) return "(none)";
  std::string lines;
  for (const std::string& item : items) lines += "\n  " + item;
  return lines;
}

// An operation takes the text after its first ':' (possibly empty).
using Operation = std::function<std::string(ClsTavirex&, const std::string&)>;

const std::map<std::string, Operation>& Operations() {
  static const std::map<std::string, Operation> operations = {
      {"ConnectStringParams",
       [](ClsTavirex&, const std::string&) { return ClsTavirex::ConnectStringParams(); }},
      {"fun_sFixString",
       [](ClsTavirex&, const std::string& text) { return ClsTavirex::fun_sFixString(text); }},
      {"GetPraxoDBPath", [](ClsTavirex& o, const std::string&) { return o.GetPraxoDBPath(); }},
      {"ShouldWriteToLog",
       [](ClsTavirex& o, const std::string&) { return BoolText(o.ShouldWriteToLog()); }},
      {"WriteToLog",
       [](ClsTavirex& o, const std::string& text) {
         o.WriteToLog(text);
         return std::string();
       }},
      {"DeviceNames",
       [](ClsTavirex&, const std::string&) { return Lines(ClsTavirex::DeviceNames()); }},
      {"LoadEquipProps",
       [](ClsTavirex& o, const std::string& name) {
         o.LoadEquipProps(name.empty() ? o.props().DeviceName : name);
         return std::string();
       }},
      {"ParseFileName",
       [](ClsTavirex& o, const std::string& args) {
         std::size_t colon = args.find(':');
         return o.ParseFileName(args.substr(0, colon),
                                colon == std::string::npos ? "" : args.substr(colon + 1));
       }},
      {"GetFolderFileNames",
       [](ClsTavirex& o, const std::string& folder) {
         return Lines(o.GetFolderFileNames(folder));
       }},
      {"DoDeviceFunction", [](ClsTavirex& o, const std::string&) { return o.DoDeviceFunction(); }},
      {"CaptureDevice", [](ClsTavirex& o, const std::string&) { return o.CaptureDevice(); }},
      {"ReviewDevice", [](ClsTavirex& o, const std::string&) { return o.ReviewDevice(); }},
      {"NumPatientImageFiles",
       [](ClsTavirex& o, const std::string&) { return std::to_string(o.NumPatientImageFiles()); }},
  };
  return operations;
}

void PrintUsage() {
  std::cout << "Usage: tavirex-host STEP...\n"
               "Creates one Tavirex.clsTavirex object as the host does, then runs each STEP:\n"
               "  NAME=VALUE       assign a property (booleans: True/False or a number)\n"
               "  NAME             print a property\n"
               "  show             print every readable property\n"
               "  OPERATION[:ARG]  run an operation and print its result\n"
               "  answer-after-files:FOLDER:N\n"
               "                   hold the next message box until FOLDER holds N files (as a\n"
               "                   user waits for the technician's export; 60 s at most)\n"
               "Operations:";
  for (const auto& [name, op] : Operations()) std::cout << ' ' << name;
  std::cout << "\n" << SystemPlatformNotes().settings;
}

void PrintProperty(const ClsTavirex& object, const PropertyInfo& info) {
  std::cout << info.name << " = " << SlotText(object.props(), info) << "\n";
}

void Show(const ClsTavirex& object) {
  for (const PropertyInfo& info : StoredProperties()) {
    if (info.has_get) PrintProperty(object, info);
  }
  std::cout << "ConnectStringParams = " << ClsTavirex::ConnectStringParams() << "\n"
            << "NumDataSegments = " << ClsTavirex::NumDataSegments() << "\n";
}

// Runs one step; returns false when the host would have received a failed call.
bool RunStep(ClsTavirex& object, HostUser& user, const std::string& step) {
  try {
    if (step == "show") {
      Show(object);
      return true;
    }
    if (const std::string wait = "answer-after-files:"; step.rfind(wait, 0) == 0) {
      if (ArmFilesWait(user, step.substr(wait.size()))) return true;
      std::cerr << "tavirex-host: expected answer-after-files:FOLDER:N, got " << step << "\n";
      return false;
    }
    std::size_t equals = step.find('=');
    std::size_t colon = step.find(':');
    std::string name = step.substr(0, std::min(equals, colon));
    if (equals != std::string::npos && (colon == std::string::npos || equals < colon)) {
      const PropertyInfo* info = FindStoredProperty(name);
      if (info == nullptr || !info->has_let) {
        std::cerr << "tavirex-host: no property to assign named " << name << "\n";
        return false;
      }
      AssignSlotText(object.props(), *info, step.substr(equals + 1));
      return true;
    }
    if (auto op = Operations().find(name); op != Operations().end()) {
      std::string argument = colon == std::string::npos ? "" : step.substr(colon + 1);
      // Run first: the operation may show boxes or a window of its own.
      const std::string result = op->second(object, argument);
      std::cout << name << (argument.empty() ? "" : "(" + argument + ")") << " -> " << result
                << "\n";
      return true;
    }
    if (const PropertyInfo* info = FindStoredProperty(name); info != nullptr && info->has_get) {
      PrintProperty(object, *info);
      return true;
    }
    std::cerr << "tavirex-host: unknown step " << step << "\n";
    return false;
  } catch (...) {
    VbError failure = CurrentFailure(std::current_exception());
    std::cout << step << " failed: Err Number: " << failure.number()
              << " Err Description: " << failure.description() << "\n";
    return false;
  }
}

}  // namespace
}  // namespace tavirex

int main(int argc, char** argv) {
  using namespace tavirex;
  std::vector<std::string> steps(argv + 1, argv + argc);
  if (steps.empty() || steps[0] == "--help" || steps[0] == "-h") {
    PrintUsage();
    return steps.empty() ? 2 : 0;
  }
  std::cout << std::unitbuf;  // in step with the boxes and the window on stderr
  std::unique_ptr<Platform> platform = MakeSystemPlatform();
  HostUser user(*platform);
  HostModule module(user);
  std::unique_ptr<ImageListView> view = MakeSystemImageListView();
  ClsTavirex object(module, *view);
  bool all_ok = true;
  for (const std::string& step : steps) all_ok = RunStep(object, user, step) && all_ok;
  return all_ok ? 0 : 1;
}
