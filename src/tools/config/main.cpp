// tavirex-config: the configuration tool for the plug-in's equipment INI.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "hostenv/host_paths.h"
#include "hostenv/system.h"
#include "tools/config/config_tool.h"

int main(int argc, char** argv) {
  // The platform the plug-in would get here, and the file it reads as
  // "PXEquip.ini", which this program edits.
  std::unique_ptr<tavirex::Platform> platform = tavirex::MakeSystemPlatform(/*interactive=*/false);
  tavirex::config::ToolContext context{
      *platform, platform->ProfileFilePath(tavirex::kEquipIniFileName), std::cout, std::cerr};
  return tavirex::config::RunConfigTool(std::vector<std::string>(argv + 1, argv + argc), context);
}
