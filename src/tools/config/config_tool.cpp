#include "tools/config/config_tool.h"

#include <exception>

#include "hostenv/system.h"
#include "tools/config/commands.h"
#include "winrules/vb_error.h"

namespace tavirex::config {
namespace {

void PrintUsage(std::ostream& out) {
  out << "Usage: tavirex-config COMMAND\n"
         "Checks and edits PXEquip.ini, the equipment INI in the Windows directory from which\n"
         "the Tavirex plug-in takes each device function's folders and vendor program.\n"
         "\n"
         "Commands:\n"
         "  check    For each of the sixteen device functions: its equipment number, the\n"
         "           program, drop folder and store folder Capture uses, the folder Review\n"
         "           and Count use, where each comes from and whether it exists; then the\n"
         "           problems that would show at run time. Exit code 1 when there are any.\n"
         "           (It tests a folder for writing by creating and removing a small file.)\n"
         "  list     The entries of [Equipment] and the settings they point to.\n"
         "  add DEVICE --data FOLDER [--program PATH] [--label TEXT]\n"
         "           Configures one device function, e.g. \"Capture Vessara\": a new entry in\n"
         "           [Equipment] and a new numbered section with \"EquipDataPath\" (and, for\n"
         "           Capture, \"EquipProgPathFName\"; default "
         "C:\\KSOCTVIEW\\bin\\CreatePatient.exe).\n"
         "           For Capture, FOLDER is the drop folder; for Review, the store folder that\n"
         "           Capture imports into and Review and Count list. The rest of the file is\n"
         "           kept as it is; the old file is kept as PXEquip.ini.bak.\n"
         "  --help   This text.\n"
         "\n"
         "Exit codes: 0 done, 1 check found problems, 2 refused (nothing changed),\n"
         "3 the file could not be written.\n";
  if (std::string_view settings = SystemPlatformNotes().settings; !settings.empty()) {
    out << "\n" << settings;
  }
}

// "add Capture Vessara --data X": the words before the options form the name.
int ParseAdd(const std::vector<std::string>& args, ToolContext& context) {
  AddRequest request;
  bool have_data = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string* target = arg == "--data"      ? &request.data_folder
                          : arg == "--program" ? &request.program_path
                          : arg == "--label"   ? &request.label
                                               : nullptr;
    if (target != nullptr) {
      if (i + 1 == args.size()) {
        context.err << "tavirex-config add: " << arg << " needs a value\n";
        return kExitRefused;
      }
      *target = args[++i];
      have_data |= arg == "--data";
    } else if (arg.starts_with("--")) {
      context.err << "tavirex-config add: unknown option " << arg << "\n";
      return kExitRefused;
    } else {
      request.device_name += (request.device_name.empty() ? "" : " ") + arg;
    }
  }
  if (request.device_name.empty() || !have_data) {
    context.err << "Usage: tavirex-config add DEVICE --data FOLDER [--program PATH] "
                   "[--label TEXT]\n";
    return kExitRefused;
  }
  return RunAdd(request, context);
}

}  // namespace

int RunConfigTool(const std::vector<std::string>& args, ToolContext& context) {
  if (args.empty()) {
    PrintUsage(context.err);
    return kExitRefused;
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(context.out);
    return kExitOk;
  }
  try {
    if (command == "add") return ParseAdd(args, context);
    if ((command == "check" || command == "list") && args.size() == 1) {
      return command == "check" ? RunCheck(context) : RunList(context);
    }
  } catch (...) {
    // A failure of a platform service outside the checks themselves.
    VbError failure = CurrentFailure(std::current_exception());
    context.err << "tavirex-config " << command << ": Err " << failure.number() << " "
                << failure.description() << "\n";
    return kExitWriteFailed;
  }
  context.err << "tavirex-config: unknown command line; see tavirex-config --help\n";
  return kExitRefused;
}

}  // namespace tavirex::config
