// tavirex-host: drives one clsTavirex object the way the host program does
// (start-up, construction, properties, operations) and prints what it sees.
// Used by technicians to check a workstation, and by the demo run.
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostenv/vb_error.h"
#include "interface/cls_tavirex.h"
#include "interface/property_table.h"

#ifdef _WIN32
#include "hostenv/win32/win32_platform.h"
#else
#include "hostenv/posix/posix_platform.h"
#endif

namespace tavirex {
namespace {

std::unique_ptr<Platform> CreatePlatform() {
#ifdef _WIN32
  return std::make_unique<Win32Platform>();
#else
  return std::make_unique<PosixPlatform>(PosixPlatform::OptionsFromEnvironment());
#endif
}

std::string BoolText(VbBool value) { return value ? "True" : "False"; }

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
       [](ClsTavirex&, const std::string&) {
         std::string lines;
         for (const std::string& name : ClsTavirex::DeviceNames()) lines += "\n  " + name;
         return lines;
       }},
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
               "Operations:";
  for (const auto& [name, op] : Operations()) std::cout << ' ' << name;
  std::cout << "\n"
#ifndef _WIN32
               "Environment: TAVIREX_WINDOWS_DIR (folder of PXEquip.ini and praxo32.ini),\n"
               "  TAVIREX_MODULE_DIR (folder of the log files), TAVIREX_DRIVE_C (where C:\\ is),\n"
               "  TAVIREX_MSGBOX_ANSWERS (scripted answers to message boxes: 1 OK, 2 Cancel,\n"
               "  6 Yes, 7 No, comma-separated)\n"
#endif
      ;
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
bool RunStep(ClsTavirex& object, const std::string& step) {
  try {
    if (step == "show") {
      Show(object);
      return true;
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
      std::cout << name << " -> " << op->second(object, argument) << "\n";
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
  std::unique_ptr<Platform> platform = CreatePlatform();
  HostModule module(*platform);
  ClsTavirex object(module);
  bool all_ok = true;
  for (const std::string& step : steps) all_ok = RunStep(object, step) && all_ok;
  return all_ok ? 0 : 1;
}
