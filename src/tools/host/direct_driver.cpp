#include "tools/host/host_tool.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>
#include <thread>
#include <type_traits>
#include <utility>

#include "hostenv/forwarding_platform.h"
#include "hostenv/system.h"
#include "ui/system_view.h"
#include "winrules/vb_error.h"

namespace tavirex::host {
namespace {

// The user in front of the host, who can hold a box until a folder holds the
// files waited for, as when the technician exports images during a capture.
class HostUser final : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  std::size_t boxes_shown = 0;
  std::optional<std::pair<std::string, std::size_t>> wait;  // the folder and the count

  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    if (wait) WaitForFiles(wait->first, wait->second);
    wait.reset();
    ++boxes_shown;
    return inner_.MessageBox(text, style, title);
  }

 private:
  // The names must also stay the same for a few polls: a writer may still be
  // renaming its last file.
  void WaitForFiles(const std::string& folder, std::size_t count) {
    std::cerr << "(waiting for " << count << " file(s) in " << folder << ")\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::vector<std::string> last, names;
    for (int stable = 0; std::chrono::steady_clock::now() < deadline; last = std::move(names)) {
      try {
        names = inner_.FolderFileNames(folder);
        std::sort(names.begin(), names.end());
      } catch (const VbError&) {
        names.clear();  // not there yet
      }
      stable = names == last ? stable + 1 : 0;
      if (names.size() >= count && stable >= 3) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::cerr << "(gave up waiting: " << last.size() << " file(s) in " << folder << ")\n";
  }
};

// Calls a method of the class with the step's texts, as the COM adapter calls
// it (a static one without the object); the result as the driver reports it.
template <auto Method>
CallResult Invoke(ClsTavirex& object, const std::vector<std::string>& args) {
  const auto call = [&]<std::size_t... I>(std::index_sequence<I...>) {
    if constexpr (std::is_member_function_pointer_v<decltype(Method)>) {
      return (object.*Method)(args[I]...);
    } else {
      return Method(args[I]...);
    }
  };
  constexpr auto arguments = std::make_index_sequence<Arity(Method)>();
  using R = decltype(call(arguments));
  if constexpr (std::is_void_v<R>) {
    call(arguments);
    return {};
  } else if constexpr (std::is_same_v<R, VbBool>) {
    return BoolText(call(arguments));
  } else if constexpr (std::is_arithmetic_v<R>) {
    return std::to_string(call(arguments));
  } else {
    return call(arguments);
  }
}

class DirectDriver final : public Driver {
 public:
  DirectDriver(Platform& platform, ImageListView& view)
      : user_(platform), module_(user_), object_(module_, view) {}

  void Let(const PropertyInfo& property, const std::string& text) override {
    AssignSlotText(object_.props(), property, text);
  }

  std::string Get(std::string_view name) override {
    if (const PropertyInfo* property = FindStoredProperty(name)) {
      const auto* flag = std::get_if<VbBool TavirexProperties::*>(&property->slot);
      return flag ? BoolText(object_.props().**flag) : SlotText(object_.props(), *property);
    }
    // A constant, by its own spelling.
    std::ostringstream constant;
#define TAVIREX_CONSTANT(Name, Kind, Value) \
  if (name == #Name) constant << ClsTavirex::Name();
#include "plugin/properties.def"
    return constant.str();
  }

  CallResult Call(const OperationInfo& operation,
                  const std::vector<std::string>& arguments) override {
#define TAVIREX_OPERATION(Name, Form) \
  if (operation.name == #Name) return Invoke<&ClsTavirex::Name>(object_, arguments);
#include "plugin/properties.def"
    return {};  // every operation is one of the member list's
  }

  void AnswerAfterFiles(const std::string& folder, std::size_t count) override {
    user_.wait = {folder, count};
  }
  std::size_t BoxesShown() const override { return user_.boxes_shown; }

 private:
  HostUser user_;
  HostModule module_;
  ClsTavirex object_;
};

}  // namespace

std::unique_ptr<Driver> MakeDirectDriver(Platform& platform, ImageListView& view) {
  return std::make_unique<DirectDriver>(platform, view);
}

DriverFactory SystemDriverFactory() {
  return {
      "Here tavirex-host holds the class Tavirex.clsTavirex itself, in this process, on the\n"
      "workstation that the environment describes; the logs go to TAVIREX_MODULE_DIR.\n",
      true, [] {
        // The services outlive the driver, as MakeDirectDriver asks.
        static const std::unique_ptr<Platform> platform = MakeSystemPlatform();
        static const std::unique_ptr<ImageListView> view = MakeSystemImageListView();
        return MakeDirectDriver(*platform, *view);
      }};
}

}  // namespace tavirex::host
