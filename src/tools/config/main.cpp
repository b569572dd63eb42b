// tavirex-config: the configuration tool for the plug-in's equipment INI.
#include <iostream>
#include <memory>
#include <string>

#include "hostenv/host_paths.h"
#include "hostenv/system.h"
#include "plugin/cls_tavirex.h"
#include "tools/config/config_tool.h"

int main(int argc, char** argv) {
  using namespace tavirex;
  std::unique_ptr<Platform> platform = MakeSystemPlatform(/*interactive=*/false);
  config::ToolContext context{*platform, platform->ProfileFilePath(kEquipIniFileName), std::cout,
                              std::cerr};
  // The plug-in writes its logs beside the registered DLL, where the system
  // can tell; else beside this program.
  const ClassRegistration registration = FindClassRegistration(kClassProgId);
  const std::size_t slash = registration.server.find_last_of("\\/");
  if (registration.state == ClassRegistration::State::kRegistered && slash != std::string::npos) {
    context.log_folder = registration.server.substr(0, slash);
    context.log_folder_origin =
        "the folder of the registered " + registration.server.substr(slash + 1);
  } else if (registration.state == ClassRegistration::State::kNotRegistered) {
    context.plugin_not_registered = true;
    context.log_folder = platform->ModuleFolder();
    context.log_folder_origin =
        std::string("this program's folder: ") + kClassProgId + " is not registered";
  }
  return config::RunConfigTool(ProgramArguments(argc, argv), context);
}
