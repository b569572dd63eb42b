#include "tools/host/host_tool.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>

#include "hostenv/system.h"
#include "plugin/catalogue.h"
#include "cli/cli.h"
#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex::host {
namespace {

using P = TavirexProperties;

// The device functions answer "Was OK".
constexpr OperationInfo MakeOperation(std::string_view name, OperationForm form,
                                      std::size_t arity) {
  return {name, form,
          arity == 0                 ? Arguments::kNone
          : arity == 2               ? Arguments::kTwoTexts
          : name == "LoadEquipProps" ? Arguments::kDeviceName
                                     : Arguments::kText,
          name == "DoDeviceFunction" || name == "ReviewDevice" || name == "CaptureDevice"};
}

constexpr std::array kOperations = {
#define TAVIREX_OPERATION(Name, Form) \
  MakeOperation(#Name, OperationForm::Form, Arity(&ClsTavirex::Name)),
#include "plugin/properties.def"
};

// Stored properties and constants, in the order of the member list.
constexpr std::array kProperties = {
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) std::string_view(#Name),
#define TAVIREX_CONSTANT(Name, Kind, Value) std::string_view(#Name),
#include "plugin/properties.def"
};

// The step as the help shows it: "ParseFileName:TEXT:TEXT".
std::string Usage(const OperationInfo& operation) {
  constexpr const char* kForms[] = {"", ":TEXT", "[:DEVICE]", ":TEXT:TEXT"};
  return std::string(operation.name) + kForms[static_cast<int>(operation.arguments)];
}

struct Step {
  enum class Kind { kShow, kHoldBox, kLet, kGet, kCall };
  Kind kind = Kind::kShow;
  std::string text = {};                   // as given
  const PropertyInfo* property = nullptr;  // kLet
  std::string_view member = {};            // a property's or constant's own spelling
  const OperationInfo* operation = nullptr;
  std::string argument_text = {};           // kLet, kCall
  std::vector<std::string> arguments = {};  // kCall; kHoldBox: the folder and the count
  std::string device_name = {};             // the last DeviceName= before it
};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A device name outside the catalogue, which the plug-in answers without a
// word: no entry, no images, no function.
std::string DeviceNameWarning(const std::string& name) {
  if (IsCatalogueName(name)) return "";
  return "tavirex-host: warning: " + Quoted(name) + " is not one of the plug-in's device names" +
         cli::DidYouMean(name, ClsTavirex::DeviceNames()) +
         ": it finds no entry, no images and no function for it\n";
}

// One step, checked; `why` says why it cannot run. `device_name`: the last
// DeviceName= so far, the default device of LoadEquipProps (the property
// itself cannot be read back).
Step ParseStep(const std::string& text, bool answers_boxes, std::optional<std::string>& device_name,
               std::string& warnings, std::string& why) {
  Step step{.text = text, .device_name = device_name.value_or("")};
  if (text == "show") return step;
  if (const std::string hold = "answer-after-files:"; text.starts_with(hold)) {
    // "FOLDER:N": the folder may hold colons ("C:\x"), the count follows the last.
    const std::size_t colon = text.rfind(':');
    const std::string count = text.substr(colon + 1);
    step.kind = Step::Kind::kHoldBox;
    step.arguments = {text.substr(hold.size(), colon - std::min(colon, hold.size())), count};
    if (!answers_boxes) {
      why = "answer-after-files: here the user answers the plug-in's message boxes";
    } else if (colon < hold.size() || count.empty() || count.size() > 6 ||
               count.find_first_not_of("0123456789") != std::string::npos) {
      why = "expected answer-after-files:FOLDER:N, got " + Quoted(text);
    }
    return step;
  }
  // NAME=VALUE or OPERATION:ARGUMENT, whichever sign comes first.
  const std::size_t sign = std::min(text.find('='), text.find(':'));
  const bool given = sign != std::string::npos;
  const std::string name = text.substr(0, sign);
  if (given) step.argument_text = text.substr(sign + 1);
  const PropertyInfo* property = step.property = FindStoredProperty(name);
  // Members compare without regard to case, as the host's dispatch names them.
  const auto named = [&](std::string_view member) { return EqualsIgnoreCaseAscii(member, name); };
  const auto operation = std::ranges::find_if(kOperations, named, &OperationInfo::name);
  step.operation = operation == kOperations.end() ? nullptr : &*operation;
  const auto member = std::ranges::find_if(kProperties, named);
  step.member = member == kProperties.end() ? "" : *member;
  std::vector<std::string> members(kProperties.begin(), kProperties.end());
  for (const OperationInfo& info : kOperations) members.emplace_back(info.name);
  const std::string did_you_mean = cli::DidYouMean(name, members);
  if (given && text[sign] == '=') {
    step.kind = Step::Kind::kLet;
    if (step.operation != nullptr) {
      why = name + " is an operation, not a property";
    } else if (step.member.empty()) {
      why = "no property named " + Quoted(name) + did_you_mean;
    } else if (property == nullptr || !property->has_let) {
      why = name + " is read-only: it cannot be assigned";
    } else if (std::holds_alternative<HostObjectRef P::*>(property->slot)) {
      why = name +
            " holds a reference to one of the host's objects, which tavirex-host cannot "
            "assign";
    } else {
      try {
        P scratch;
        AssignSlotText(scratch, *property, step.argument_text);
      } catch (const VbError&) {
        why = std::string(property->name) +
              (std::holds_alternative<VbBool P::*>(property->slot)
                   ? " takes True, False or a whole number from -32768 to 32767"
                   : " takes a whole number from -2147483648 to 2147483647") +
              ", not " + Quoted(step.argument_text);
      }
    }
    if (why.empty() && property->name == "DeviceName") {
      device_name = step.argument_text;
      warnings += DeviceNameWarning(step.argument_text);
    }
    return step;
  }
  if (step.operation != nullptr) {
    step.kind = Step::Kind::kCall;
    const std::string& argument = step.argument_text;
    const std::size_t split = argument.find(':');
    switch (step.operation->arguments) {
      case Arguments::kNone:
        if (given) why = name + " takes no argument, got " + Quoted(text);
        break;
      case Arguments::kText:
        step.arguments = {argument};
        break;
      case Arguments::kDeviceName:
        if (!given && !device_name) {
          why = name + " needs a device name: " + Usage(*step.operation) +
                ", or a DeviceName= step before it";
        }
        step.arguments = {given ? argument : step.device_name};
        if (given) warnings += DeviceNameWarning(argument);
        break;
      case Arguments::kTwoTexts:
        if (split == std::string::npos) {
          why = name + " needs two arguments: " + Usage(*step.operation);
        }
        step.arguments = {argument.substr(0, split),
                          argument.substr(std::min(split + 1, argument.size()))};
        break;
    }
    return step;
  }
  if (!given && !step.member.empty()) {
    step.kind = Step::Kind::kGet;
    if (property != nullptr && !property->has_get) {
      why = std::string(property->name) + " is write-only: it cannot be read";
    }
    return step;
  }
  why = "unknown step " + Quoted(text) + ": no property or operation named " + Quoted(name) +
        did_you_mean;
  return step;
}

std::string ResultText(const CallResult& result) {
  if (const std::string* text = std::get_if<std::string>(&result)) return *text;
  const auto& items = std::get<std::vector<std::string>>(result);
  std::string lines = items.empty() ? "(none)" : "";
  for (const std::string& item : items) lines += "\n  " + item;
  return lines;
}

// Runs one step; false when it failed.
bool RunStep(Driver& driver, const Step& step, std::ostream& out, std::ostream& err) {
  try {
    switch (step.kind) {
      case Step::Kind::kShow:
        for (std::string_view name : kProperties) {
          const PropertyInfo* property = FindStoredProperty(name);
          if (property == nullptr || property->has_get) {
            out << name << " = " << driver.Get(name) << "\n";
          }
        }
        return true;
      case Step::Kind::kHoldBox:
        driver.AnswerAfterFiles(step.arguments[0], std::stoul(step.arguments[1]));
        return true;
      case Step::Kind::kLet:
        driver.Let(*step.property, step.argument_text);
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
                : " without a message box: nothing was run for DeviceName " +
                      Quoted(step.device_name) + "\n");
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
  for (const OperationInfo& operation : kOperations) {
    const std::string usage = " " + Usage(operation);
    if (text.size() - text.rfind('\n') - 1 + usage.size() > 88) text += "\n ";
    text += usage;
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
  if (std::optional<int> exit = cli::ParseCommandLine(app, args, out, err, kExitRefused)) {
    return *exit;
  }

  std::vector<Step> steps;
  std::optional<std::string> device_name;
  std::string warnings, refusals;
  for (const std::string& text : texts) {
    std::string why;
    steps.push_back(ParseStep(text, factory.answers_message_boxes, device_name, warnings, why));
    if (!why.empty()) refusals += "tavirex-host: " + why + "\n";
  }
  if (!refusals.empty()) {
    err << refusals << "Nothing was run; see tavirex-host --help.\n";
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
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (RunStep(*driver, steps[i], out, err)) continue;
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
