#include "tools/host/host_tool.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "hostenv/system.h"
#include "tools/tool_cli.h"
#include "winrules/vb_error.h"

namespace tavirex::host {
namespace {

using P = TavirexProperties;

struct Step {
  enum class Kind { kShow, kHoldBox, kLet, kGet, kCall };
  Kind kind = Kind::kShow;
  std::string text;  // as given
  // kLet
  const PropertyInfo* property = nullptr;
  LetValue value;
  // kGet: the member's own spelling
  std::string_view member;
  // kCall
  const OperationInfo* operation = nullptr;
  std::string argument_text;
  std::vector<std::string> arguments;
  // kHoldBox
  std::string folder;
  std::size_t count = 0;
};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string DidYouMean(std::string_view name) { return tools::DidYouMean(name, MemberNames()); }

// A warning for a device name outside the catalogue, which the plug-in
// answers without a word: no entry, no images, no function; "" otherwise.
std::string DeviceNameWarning(const std::string& name) {
  const std::vector<std::string> names = ClsTavirex::DeviceNames();
  if (std::find(names.begin(), names.end(), name) != names.end()) return "";
  return "tavirex-host: warning: \"" + name + "\" is not one of the plug-in's device names" +
         tools::DidYouMean(name, names) + ": it finds no entry, no images and no function for it\n";
}

// The value of a Let in the property's type, by the property table's own
// conversion; nullopt, with the reason, when the text is not of that type.
std::optional<LetValue> ParseValue(const PropertyInfo& info, const std::string& text,
                                   std::string& why) {
  P scratch;
  try {
    AssignSlotText(scratch, info, text);
  } catch (const VbError&) {
    why = std::string(info.name) +
          (std::holds_alternative<VbBool P::*>(info.slot)
               ? " takes True, False or a whole number from -32768 to 32767"
               : " takes a whole number from -2147483648 to 2147483647") +
          ", not " + Quoted(text);
    return std::nullopt;
  }
  struct Visitor {
    const P& scratch;
    LetValue operator()(std::string P::*slot) const { return scratch.*slot; }
    LetValue operator()(VbBool P::*slot) const { return scratch.*slot; }
    LetValue operator()(std::int32_t P::*slot) const { return scratch.*slot; }
    LetValue operator()(HostObjectRef P::*) const { return std::string(); }
  };
  return std::visit(Visitor{scratch}, info.slot);
}

class StepParser {
 public:
  explicit StepParser(const DriverFactory& factory) : factory_(factory) {}

  // nullopt, with the reason, for a step that cannot run.
  std::optional<Step> Parse(const std::string& text, std::string& why);
  // Device names outside the catalogue.
  std::string warnings;

 private:
  std::optional<Step> ParseLet(Step step, const std::string& name, std::string& why);
  std::optional<Step> ParseCall(Step step, const OperationInfo& operation,
                                std::optional<std::string> argument, std::string& why);

  const DriverFactory& factory_;
  // The last DeviceName= so far: the default device of LoadEquipProps (the
  // property itself cannot be read back).
  std::optional<std::string> device_name_;
};

std::optional<Step> StepParser::Parse(const std::string& text, std::string& why) {
  Step step;
  step.text = text;
  if (text == "show") return step;
  if (const std::string hold = "answer-after-files:"; text.starts_with(hold)) {
    if (!factory_.answers_message_boxes) {
      why = "answer-after-files: here the user answers the plug-in's message boxes";
      return std::nullopt;
    }
    // "FOLDER:N": the folder may hold colons ("C:\x"), the count follows the last.
    const std::string rest = text.substr(hold.size());
    const std::size_t colon = rest.rfind(':');
    const std::string count = colon == std::string::npos ? "" : rest.substr(colon + 1);
    if (colon == 0 || count.empty() || count.size() > 6 ||
        count.find_first_not_of("0123456789") != std::string::npos) {
      why = "expected answer-after-files:FOLDER:N, got " + Quoted(text);
      return std::nullopt;
    }
    step.kind = Step::Kind::kHoldBox;
    step.folder = rest.substr(0, colon);
    step.count = std::stoul(count);
    return step;
  }
  const std::size_t equals = text.find('=');
  const std::size_t colon = text.find(':');
  const std::string name = text.substr(0, std::min(equals, colon));
  if (equals != std::string::npos && (colon == std::string::npos || equals < colon)) {
    step.kind = Step::Kind::kLet;
    step.argument_text = text.substr(equals + 1);
    return ParseLet(std::move(step), name, why);
  }
  if (const OperationInfo* operation = FindOperation(name)) {
    std::optional<std::string> argument;
    if (colon != std::string::npos) argument = text.substr(colon + 1);
    return ParseCall(std::move(step), *operation, std::move(argument), why);
  }
  if (colon == std::string::npos) {
    if (const PropertyInfo* property = FindStoredProperty(name)) {
      if (!property->has_get) {
        why = std::string(property->name) + " is write-only: it cannot be read";
        return std::nullopt;
      }
      step.kind = Step::Kind::kGet;
      step.member = property->name;
      return step;
    }
    if (std::string_view constant = FindConstant(name); !constant.empty()) {
      step.kind = Step::Kind::kGet;
      step.member = constant;
      return step;
    }
  }
  why = "unknown step " + Quoted(text) + ": no property or operation named " + Quoted(name) +
        DidYouMean(name);
  return std::nullopt;
}

std::optional<Step> StepParser::ParseLet(Step step, const std::string& name, std::string& why) {
  const PropertyInfo* property = FindStoredProperty(name);
  if (property == nullptr) {
    if (FindOperation(name) != nullptr) {
      why = name + " is an operation, not a property";
    } else if (!FindConstant(name).empty()) {
      why = name + " is read-only: it cannot be assigned";
    } else {
      why = "no property named " + Quoted(name) + DidYouMean(name);
    }
    return std::nullopt;
  }
  if (!property->has_let) {
    why = std::string(property->name) + " is read-only: it cannot be assigned";
    return std::nullopt;
  }
  if (std::holds_alternative<HostObjectRef P::*>(property->slot)) {
    why = std::string(property->name) +
          " holds a reference to one of the host's objects, which tavirex-host cannot assign";
    return std::nullopt;
  }
  std::optional<LetValue> value = ParseValue(*property, step.argument_text, why);
  if (!value) return std::nullopt;
  if (property->name == "DeviceName") {
    device_name_ = step.argument_text;
    warnings += DeviceNameWarning(step.argument_text);
  }
  step.property = property;
  step.value = std::move(*value);
  return step;
}

std::optional<Step> StepParser::ParseCall(Step step, const OperationInfo& operation,
                                          std::optional<std::string> argument, std::string& why) {
  step.kind = Step::Kind::kCall;
  step.operation = &operation;
  step.argument_text = argument.value_or("");
  switch (operation.arguments) {
    case Arguments::kNone:
      if (argument) {
        why = std::string(operation.name) + " takes no argument, got " + Quoted(step.text);
        return std::nullopt;
      }
      break;
    case Arguments::kText:
      step.arguments = {argument.value_or("")};
      break;
    case Arguments::kDeviceName:
      if (!argument && !device_name_) {
        why = std::string(operation.name) + " needs a device name: " + Usage(operation) +
              ", or a DeviceName= step before it";
        return std::nullopt;
      }
      step.arguments = {argument.value_or(device_name_.value_or(""))};
      if (argument) warnings += DeviceNameWarning(*argument);
      break;
    case Arguments::kTwoTexts: {
      const std::size_t colon = argument ? argument->find(':') : std::string::npos;
      if (colon == std::string::npos) {
        why = std::string(operation.name) + " needs two arguments: " + Usage(operation);
        return std::nullopt;
      }
      step.arguments = {argument->substr(0, colon), argument->substr(colon + 1)};
      break;
    }
  }
  return step;
}

std::string ResultText(const CallResult& result) {
  if (const std::string* text = std::get_if<std::string>(&result)) return *text;
  const auto* items = std::get_if<std::vector<std::string>>(&result);
  if (items == nullptr) return "";
  if (items->empty()) return "(none)";
  std::string lines;
  for (const std::string& item : *items) lines += "\n  " + item;
  return lines;
}

// Runs one step; false when it failed. `device_name`: the last one assigned.
bool RunStep(Driver& driver, const Step& step, const std::string& device_name, std::ostream& out,
             std::ostream& err) {
  try {
    switch (step.kind) {
      case Step::Kind::kShow:
        for (std::string_view name : ReadableMembers()) {
          out << name << " = " << driver.Get(name) << "\n";
        }
        return true;
      case Step::Kind::kHoldBox:
        driver.AnswerAfterFiles(step.folder, step.count);
        return true;
      case Step::Kind::kLet:
        driver.Let(*step.property, step.value);
        return true;
      case Step::Kind::kGet:
        out << step.member << " = " << driver.Get(step.member) << "\n";
        return true;
      case Step::Kind::kCall: {
        const OperationInfo& operation = *step.operation;
        // Run first: the operation may show boxes or a window of its own.
        const std::size_t boxes = driver.BoxesShown();
        const CallResult result = driver.Call(operation, step.arguments);
        const std::string text = ResultText(result);
        out << operation.name << (step.argument_text.empty() ? "" : "(" + step.argument_text + ")")
            << " -> " << text << "\n";
        if (operation.reports_success && text != "Was OK") {
          err << "tavirex-host: " << operation.name << " returned " << Quoted(text)
              << ", not \"Was OK\": it failed"
              << (driver.BoxesShown() > boxes
                      ? " (see its message box; failures are also in PX_IF_Tavirex.err beside "
                        "the DLL)\n"
                      : " without a message box: nothing was run for DeviceName " +
                            Quoted(device_name) + "\n");
          return false;
        }
        return true;
      }
    }
  } catch (...) {
    // The host would have received a failed call.
    VbError failure = CurrentFailure(std::current_exception());
    out << step.text << " failed: Err Number: " << failure.number()
        << " Err Description: " << failure.description() << "\n";
  }
  return false;
}

std::string Footer(const DriverFactory& factory) {
  std::string text =
      "Steps:\n"
      "  NAME=VALUE       assign a property (booleans: True, False or a number)\n"
      "  NAME             print a property\n"
      "  show             print every readable property\n"
      "  OPERATION[:ARG]  run an operation and print its result\n";
  if (factory.answers_message_boxes) {
    text +=
        "  answer-after-files:FOLDER:N\n"
        "                   hold the next message box until FOLDER holds N files (as a\n"
        "                   user waits for the technician's export; 60 s at most)\n";
  }
  text += "Operations:\n ";
  std::size_t column = 1;
  for (const OperationInfo& operation : Operations()) {
    const std::string usage = Usage(operation);
    if (column + 1 + usage.size() > 88) {
      text += "\n ";
      column = 1;
    }
    text += " " + usage;
    column += 1 + usage.size();
  }
  text +=
      "\n\n"
      "Every step is checked before the first one runs: an unknown or read-only property,\n"
      "an unknown operation or a value of the wrong type refuses the command line (exit\n"
      "code 2) and nothing is done. The first step that fails ends the run: a failed call,\n"
      "or \"\" from CaptureDevice, ReviewDevice or DoDeviceFunction, which return \"Was OK\"\n"
      "on success. --keep-going runs the remaining steps all the same.\n"
      "Exit codes: 0 every step done, 1 a step failed, 2 refused (nothing done),\n"
      "3 the object could not be created.\n\n";
  text += factory.description;
  if (std::string_view settings = SystemPlatformNotes().settings; !settings.empty()) {
    text += "\n" + std::string(settings);
  }
  return text;
}

}  // namespace

int RunHostTool(const std::vector<std::string>& args, const DriverFactory& factory,
                std::ostream& out, std::ostream& err) {
  CLI::App app("Creates one Tavirex.clsTavirex object as the host does, then runs each STEP.",
               "tavirex-host");
  app.set_version_flag("--version", std::string("tavirex-host ") + TAVIREX_VERSION);
  bool keep_going = false;
  app.add_flag("--keep-going", keep_going, "Run the remaining steps after one fails");
  std::vector<std::string> texts;
  app.add_option("STEP", texts, "What to do, in order (see Steps)")->required();
  app.footer(Footer(factory));
  if (std::optional<int> exit = tools::ParseCommandLine(app, args, out, err, kExitRefused)) {
    return *exit;
  }

  StepParser parser(factory);
  std::vector<Step> steps;
  bool refused = false;
  for (const std::string& text : texts) {
    std::string why;
    if (std::optional<Step> step = parser.Parse(text, why)) {
      steps.push_back(std::move(*step));
    } else {
      err << "tavirex-host: " << why << "\n";
      refused = true;
    }
  }
  if (refused) {
    err << "Nothing was run; see tavirex-host --help.\n";
    return kExitRefused;
  }
  err << parser.warnings;

  std::unique_ptr<Driver> driver;
  try {
    driver = factory.create();
  } catch (...) {
    VbError failure = CurrentFailure(std::current_exception());
    err << "tavirex-host: cannot create " << kClassProgId << ": Err " << failure.number() << " "
        << failure.description() << "\n";
    return kExitNoObject;
  }
  bool all_ok = true;
  std::string device_name;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (steps[i].kind == Step::Kind::kLet && steps[i].property->name == "DeviceName") {
      device_name = steps[i].argument_text;
    }
    if (RunStep(*driver, steps[i], device_name, out, err)) continue;
    all_ok = false;
    if (!keep_going && i + 1 < steps.size()) {
      err << "tavirex-host: stopped after step " << i + 1 << " of " << steps.size()
          << " (--keep-going runs the rest)\n";
      break;
    }
  }
  return all_ok ? kExitOk : kExitStepFailed;
}

}  // namespace tavirex::host
