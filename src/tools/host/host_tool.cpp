#include "tools/host/host_tool.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "hostenv/system.h"
#include "plugin/catalogue.h"
#include "tools/tool_cli.h"
#include "winrules/vb_error.h"

namespace tavirex::host {
namespace {

using P = TavirexProperties;

struct Step {
  enum class Kind { kShow, kHoldBox, kLet, kGet, kCall };
  Kind kind = Kind::kShow;
  std::string text = {};                   // as given
  const PropertyInfo* property = nullptr;  // kLet
  LetValue value = {};                     // kLet
  std::string_view member = {};            // kGet: the member's own spelling
  const OperationInfo* operation = nullptr;
  std::string argument_text = {};           // kLet, kCall
  std::vector<std::string> arguments = {};  // kCall; kHoldBox: the folder
  std::size_t count = 0;                    // kHoldBox
};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A device name outside the catalogue, which the plug-in answers without a
// word: no entry, no images, no function.
std::string DeviceNameWarning(const std::string& name) {
  if (IsCatalogueName(name)) return "";
  return "tavirex-host: warning: " + Quoted(name) + " is not one of the plug-in's device names" +
         tools::DidYouMean(name, ClsTavirex::DeviceNames()) +
         ": it finds no entry, no images and no function for it\n";
}

// One step, checked; nullopt, with the reason, for a step that cannot run.
// `device_name`: the last DeviceName= so far, the default device of
// LoadEquipProps (the property itself cannot be read back).
std::optional<Step> ParseStep(const std::string& text, bool answers_boxes,
                              std::optional<std::string>& device_name, std::string& warnings,
                              std::string& why) {
  Step step{.text = text};
  if (text == "show") return step;
  if (const std::string hold = "answer-after-files:"; text.starts_with(hold)) {
    // "FOLDER:N": the folder may hold colons ("C:\x"), the count follows the last.
    const std::size_t colon = text.rfind(':');
    const std::string count = text.substr(colon + 1);
    if (!answers_boxes) {
      why = "answer-after-files: here the user answers the plug-in's message boxes";
    } else if (colon < hold.size() || count.empty() || count.size() > 6 ||
               count.find_first_not_of("0123456789") != std::string::npos) {
      why = "expected answer-after-files:FOLDER:N, got " + Quoted(text);
    }
    step = {.kind = Step::Kind::kHoldBox,
            .text = text,
            .arguments = {text.substr(hold.size(), colon - std::min(colon, hold.size()))},
            .count = why.empty() ? std::stoul(count) : 0};
    return why.empty() ? std::optional(step) : std::nullopt;
  }
  const std::size_t equals = text.find('=');
  const std::size_t colon = text.find(':');
  const std::string name = text.substr(0, std::min(equals, colon));
  const PropertyInfo* property = FindStoredProperty(name);
  const OperationInfo* operation = FindOperation(name);
  const std::string_view constant = FindConstant(name);
  const std::string did_you_mean = tools::DidYouMean(name, MemberNames());
  if (equals != std::string::npos && (colon == std::string::npos || equals < colon)) {
    step = {.kind = Step::Kind::kLet, .text = text, .property = property};
    step.argument_text = text.substr(equals + 1);
    if (operation != nullptr) {
      why = name + " is an operation, not a property";
    } else if (!constant.empty() || (property != nullptr && !property->has_let)) {
      why = name + " is read-only: it cannot be assigned";
    } else if (property == nullptr) {
      why = "no property named " + Quoted(name) + did_you_mean;
    } else if (std::holds_alternative<HostObjectRef P::*>(property->slot)) {
      why = name +
            " holds a reference to one of the host's objects, which tavirex-host cannot "
            "assign";
    } else {
      // The value in the property's type, by the property table's own conversion.
      P scratch;
      try {
        AssignSlotText(scratch, *property, step.argument_text);
      } catch (const VbError&) {
        why = std::string(property->name) +
              (std::holds_alternative<VbBool P::*>(property->slot)
                   ? " takes True, False or a whole number from -32768 to 32767"
                   : " takes a whole number from -2147483648 to 2147483647") +
              ", not " + Quoted(step.argument_text);
        return std::nullopt;
      }
      std::visit(
          [&](auto slot) {
            if constexpr (!std::is_same_v<decltype(slot), HostObjectRef P::*>) {
              step.value = scratch.*slot;
            }
          },
          property->slot);
      if (property->name == "DeviceName") {
        device_name = step.argument_text;
        warnings += DeviceNameWarning(step.argument_text);
      }
    }
    return why.empty() ? std::optional(step) : std::nullopt;
  }
  if (operation != nullptr) {
    step = {.kind = Step::Kind::kCall, .text = text, .operation = operation};
    const std::optional<std::string> argument =
        colon == std::string::npos ? std::nullopt : std::optional(text.substr(colon + 1));
    step.argument_text = argument.value_or("");
    const std::size_t split = step.argument_text.find(':');
    switch (operation->arguments) {
      case Arguments::kNone:
        if (argument) why = name + " takes no argument, got " + Quoted(text);
        break;
      case Arguments::kText:
        step.arguments = {step.argument_text};
        break;
      case Arguments::kDeviceName:
        if (!argument && !device_name) {
          why = name + " needs a device name: " + Usage(*operation) +
                ", or a DeviceName= step before it";
        }
        step.arguments = {argument.value_or(device_name.value_or(""))};
        if (argument) warnings += DeviceNameWarning(*argument);
        break;
      case Arguments::kTwoTexts:
        if (split == std::string::npos) {
          why = name + " needs two arguments: " + Usage(*operation);
        }
        step.arguments = {
            step.argument_text.substr(0, split),
            step.argument_text.substr(std::min(split + 1, step.argument_text.size()))};
        break;
    }
    return why.empty() ? std::optional(step) : std::nullopt;
  }
  if (colon == std::string::npos && (property != nullptr || !constant.empty())) {
    if (property != nullptr && !property->has_get) {
      why = std::string(property->name) + " is write-only: it cannot be read";
      return std::nullopt;
    }
    step.kind = Step::Kind::kGet;
    step.member = property != nullptr ? property->name : constant;
    return step;
  }
  why = "unknown step " + Quoted(text) + ": no property or operation named " + Quoted(name) +
        did_you_mean;
  return std::nullopt;
}

std::string ResultText(const CallResult& result) {
  if (const std::string* text = std::get_if<std::string>(&result)) return *text;
  const auto* items = std::get_if<std::vector<std::string>>(&result);
  if (items == nullptr) return "";
  std::string lines = items->empty() ? "(none)" : "";
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
        driver.AnswerAfterFiles(step.arguments[0], step.count);
        return true;
      case Step::Kind::kLet:
        driver.Let(*step.property, step.value);
        return true;
      case Step::Kind::kGet:
        out << step.member << " = " << driver.Get(step.member) << "\n";
        return true;
      case Step::Kind::kCall:
        break;
    }
    // Run first: the operation may show boxes or a window of its own.
    const OperationInfo& operation = *step.operation;
    const std::size_t boxes = driver.BoxesShown();
    const std::string text = ResultText(driver.Call(operation, step.arguments));
    out << operation.name << (step.argument_text.empty() ? "" : "(" + step.argument_text + ")")
        << " -> " << text << "\n";
    if (!operation.reports_success || text == "Was OK") return true;
    err << "tavirex-host: " << operation.name << " returned " << Quoted(text)
        << ", not \"Was OK\": it failed"
        << (driver.BoxesShown() > boxes
                ? " (see its message box; failures are also in PX_IF_Tavirex.err beside the DLL)\n"
                : " without a message box: nothing was run for DeviceName " + Quoted(device_name) +
                      "\n");
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
    if (column + 1 + usage.size() > 88) text += "\n ", column = 1;
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
  return text + std::string(factory.description) + "\n" +
         std::string(SystemPlatformNotes().settings);
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

  std::vector<Step> steps;
  std::optional<std::string> device_name;
  std::string warnings;
  for (const std::string& text : texts) {
    std::string why;
    std::optional<Step> step =
        ParseStep(text, factory.answers_message_boxes, device_name, warnings, why);
    if (step) steps.push_back(std::move(*step));
    if (!why.empty()) err << "tavirex-host: " << why << "\n";
  }
  if (steps.size() < texts.size()) {
    err << "Nothing was run; see tavirex-host --help.\n";
    return kExitRefused;
  }
  err << warnings;

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
  std::string device;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (steps[i].kind == Step::Kind::kLet && steps[i].property->name == "DeviceName") {
      device = steps[i].argument_text;
    }
    if (RunStep(*driver, steps[i], device, out, err)) continue;
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
