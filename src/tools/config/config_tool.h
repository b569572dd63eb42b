// tavirex-config: checks and edits a workstation's equipment INI, through the
// same platform services and core rules as the plug-in.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "hostenv/platform.h"
#include "hostenv/system.h"

namespace tavirex::config {

inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;     // check found something that bites at run time
inline constexpr int kExitRefused = 2;      // bad arguments, or an edit refused: nothing changed
inline constexpr int kExitWriteFailed = 3;  // an edit could not write the file

struct ToolContext {
  // The workstation's services; the plug-in reads "PXEquip.ini" through them.
  Platform& platform;
  // The file those services read as "PXEquip.ini", as this program opens it.
  std::string equip_ini_path;
  std::ostream& out;
  std::ostream& err;
  // Where the plug-in writes its logs (the registered DLL's folder); "": the
  // module folder.
  std::string log_folder = {};
  std::string log_folder_origin = {};
  // The class is known not to be registered (only Windows can tell).
  bool plugin_not_registered = false;
  // Edits show what they would change and write nothing.
  bool dry_run = false;
  // What the service manager says of a service on this computer.
  std::function<ServiceStatus(const std::string& name)> find_service = FindService;
};

// Runs one command line (without the program name); returns the exit code.
int RunConfigTool(const std::vector<std::string>& args, ToolContext& context);

}  // namespace tavirex::config
