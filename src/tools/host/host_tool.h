// tavirex-host: drives one clsTavirex object the way the host program does
// and prints what it sees, for IT checking a workstation and for the demo.
// On Windows it reaches the registered class through COM and IDispatch, as
// the host does; on POSIX the class itself, in this process. The members it
// reaches by name come from the one member list (plugin/properties.def).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "plugin/cls_tavirex.h"
#include "plugin/property_table.h"
#include "winrules/vb_types.h"

namespace tavirex::host {

// What follows "OPERATION:" in a step.
enum class Arguments {
  kNone,
  kText,        // one text, possibly empty: fun_sFixString:O'Brien
  kDeviceName,  // optional; without it, the last DeviceName= of the run
  kTwoTexts,    // split at the first ':': ParseFileName:NAME:FOLDER
};

// As the member list gives it.
enum class OperationForm { GetOnly, Function, Sub };

struct OperationInfo {
  std::string_view name;
  OperationForm form;  // a GetOnly is read (DeviceNames), not called; a Sub returns nothing
  Arguments arguments;
  // Returns "Was OK" on success and "" when it failed.
  bool reports_success;
};

template <typename R, typename... A>
constexpr std::size_t Arity(R (*)(A...)) {
  return sizeof...(A);
}
template <typename R, typename... A>
constexpr std::size_t Arity(R (ClsTavirex::*)(A...)) {
  return sizeof...(A);
}

// What an operation gives back: a text ("" from a Sub) or a collection.
using CallResult = std::variant<std::string, std::vector<std::string>>;

// Values as VB's CStr writes them.
inline std::string BoolText(VbBool value) { return value ? "True" : "False"; }

class Driver {
 public:
  virtual ~Driver() = default;

  // Failures reach the caller as VbError, as the host sees a failed call.
  virtual void Let(const PropertyInfo& property, const std::string& text) = 0;
  // A property or constant as text; an object as "Nothing" or "<object>".
  virtual std::string Get(std::string_view name) = 0;
  virtual CallResult Call(const OperationInfo& operation,
                          const std::vector<std::string>& arguments) = 0;
  // Holds the next box until `folder` holds `count` settled files (60 s at most).
  virtual void AnswerAfterFiles(const std::string& folder, std::size_t count) = 0;
  virtual std::size_t BoxesShown() const = 0;
};

struct DriverFactory {
  std::string_view description;        // for the help: what the driver reaches, and how
  bool answers_message_boxes = false;  // scripted here; on Windows the user answers
  // Creates the object as the host does; throws VbError when it cannot.
  std::function<std::unique_ptr<Driver>()> create;
};

DriverFactory SystemDriverFactory();

// The driver that holds clsTavirex in this process (POSIX's, and the tests'),
// on `platform`, its image list on `view`; both outlive the driver.
std::unique_ptr<Driver> MakeDirectDriver(Platform& platform, ImageListView& view);

inline constexpr int kExitOk = 0;
inline constexpr int kExitStepFailed = 1;  // a step failed: a failed call, or "" for "Was OK"
inline constexpr int kExitRefused = 2;     // the command line was refused: nothing was run
inline constexpr int kExitNoObject = 3;    // the object could not be created

// Runs one command line (without the program name); returns the exit code.
// Every step is checked before the object is created.
int RunHostTool(const std::vector<std::string>& args, const DriverFactory& factory,
                std::ostream& out, std::ostream& err);

}  // namespace tavirex::host
