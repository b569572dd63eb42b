#include "tools/host/direct_driver.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <optional>
#include <thread>

#include "hostenv/forwarding_platform.h"
#include "hostenv/system.h"
#include "plugin/cls_tavirex.h"
#include "ui/system_view.h"
#include "winrules/vb_error.h"

namespace tavirex::host {
namespace {

// The user in front of the host: every service goes to the workstation's
// platform, but a message box can be held until a folder holds the files the
// user waits for, as when the technician exports images during a capture.
class HostUser final : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;

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

using Operation = std::function<CallResult(ClsTavirex&, const std::vector<std::string>&)>;

// Each operation of the member list, called as the COM adapter calls it.
const std::map<std::string_view, Operation>& DirectOperations() {
  static const std::map<std::string_view, Operation> operations = {
      {"DeviceNames",
       [](ClsTavirex&, const auto&) { return CallResult(ClsTavirex::DeviceNames()); }},
      {"GetIDFromEquipFName",
       [](ClsTavirex&, const auto& args) {
         return CallResult(ClsTavirex::GetIDFromEquipFName(args[0], args[1]));
       }},
      {"LoadEquipProps",
       [](ClsTavirex& o, const auto& args) {
         o.LoadEquipProps(args[0]);
         return CallResult();
       }},
      {"NumPatientImageFiles",
       [](ClsTavirex& o, const auto&) {
         return CallResult(std::to_string(o.NumPatientImageFiles()));
       }},
      {"DoDeviceFunction",
       [](ClsTavirex& o, const auto&) { return CallResult(o.DoDeviceFunction()); }},
      {"ReviewDevice", [](ClsTavirex& o, const auto&) { return CallResult(o.ReviewDevice()); }},
      {"CaptureDevice", [](ClsTavirex& o, const auto&) { return CallResult(o.CaptureDevice()); }},
      {"ParseFileName",
       [](ClsTavirex& o, const auto& args) {
         return CallResult(o.ParseFileName(args[0], args[1]));
       }},
      {"GetPraxoDBPath", [](ClsTavirex& o, const auto&) { return CallResult(o.GetPraxoDBPath()); }},
      {"fun_sFixString",
       [](ClsTavirex&, const auto& args) {
         return CallResult(ClsTavirex::fun_sFixString(args[0]));
       }},
      {"ShouldWriteToLog",
       [](ClsTavirex& o, const auto&) { return CallResult(BoolText(o.ShouldWriteToLog())); }},
      {"WriteToLog",
       [](ClsTavirex& o, const auto& args) {
         o.WriteToLog(args[0]);
         return CallResult();
       }},
  };
  return operations;
}

// A constant member by its own spelling, as text.
std::string ConstantText(std::string_view name) {
  struct {
    std::string operator()(const std::string& value) const { return value; }
    std::string operator()(std::int16_t value) const { return std::to_string(value); }
  } text;
#define TAVIREX_CONSTANT(Name, Kind, Value) \
  if (name == #Name) return text(ClsTavirex::Name());
#include "plugin/properties.def"
  throw VbError(vberr::kMemberNotSupported);
}

class DirectDriver final : public Driver {
 public:
  DirectDriver(Platform& platform, ImageListView& view)
      : user_(platform), module_(user_), object_(module_, view) {}

  void Let(const PropertyInfo& property, const LetValue& value) override {
    struct Visitor {
      TavirexProperties& props;
      const PropertyInfo& property;
      void operator()(const std::string& text) const { AssignSlotText(props, property, text); }
      void operator()(VbBool flag) const { AssignSlotText(props, property, std::to_string(flag)); }
      void operator()(std::int32_t number) const {
        AssignSlotText(props, property, std::to_string(number));
      }
    };
    std::visit(Visitor{object_.props(), property}, value);
  }

  std::string Get(std::string_view name) override {
    const PropertyInfo* property = FindStoredProperty(name);
    if (property == nullptr) return ConstantText(name);
    if (std::holds_alternative<VbBool TavirexProperties::*>(property->slot)) {
      return BoolText(object_.props().*std::get<VbBool TavirexProperties::*>(property->slot));
    }
    return SlotText(object_.props(), *property);
  }

  CallResult Call(const OperationInfo& operation,
                  const std::vector<std::string>& arguments) override {
    auto found = DirectOperations().find(operation.name);
    if (found == DirectOperations().end()) throw VbError(vberr::kMemberNotSupported);
    return found->second(object_, arguments);
  }

  void AnswerAfterFiles(const std::string& folder, std::size_t count) override {
    user_.AnswerAfterFiles(folder, count, std::chrono::seconds(60));
  }

 private:
  HostUser user_;
  HostModule module_;
  ClsTavirex object_;
};

}  // namespace

std::unique_ptr<Driver> MakeDirectDriver(Platform& platform, ImageListView& view) {
  return std::make_unique<DirectDriver>(platform, view);
}

// On POSIX tavirex-host holds the class itself, on the services the
// environment describes, and answers the boxes as scripted.
DriverFactory SystemDriverFactory() {
  struct System {
    std::unique_ptr<Platform> platform;
    std::unique_ptr<ImageListView> view;
  };
  auto system = std::make_shared<System>();
  return {
      "Here tavirex-host holds the class Tavirex.clsTavirex itself, in this process, on the\n"
      "workstation that the environment describes; the logs go to TAVIREX_MODULE_DIR.\n",
      true, [system] {
        system->platform = MakeSystemPlatform();
        system->view = MakeSystemImageListView();
        return MakeDirectDriver(*system->platform, *system->view);
      }};
}

}  // namespace tavirex::host
