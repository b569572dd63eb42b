// tavirex-config: the configuration tool for the plug-in's equipment INI.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "hostenv/host_paths.h"
#include "tools/config/config_tool.h"

#ifdef _WIN32
#include "hostenv/win32/win32_platform.h"
#include "hostenv/win32/windows_api.h"
#else
#include <filesystem>

#include "hostenv/posix/posix_platform.h"
#include "winrules/vb_string.h"
#endif

namespace {

struct Workstation {
  std::unique_ptr<tavirex::Platform> platform;
  std::string equip_ini_path;  // the file the platform reads as "PXEquip.ini"
};

// The platform the plug-in would get here, and the file its profile reads
// take "PXEquip.ini" from: the Windows directory.
Workstation OpenWorkstation() {
  const std::string file = std::string("\\") + tavirex::kEquipIniFileName;
#ifdef _WIN32
  char windows_dir[MAX_PATH + 1] = {};
  UINT length = GetWindowsDirectoryA(windows_dir, sizeof windows_dir);
  return {std::make_unique<tavirex::Win32Platform>(), std::string(windows_dir, length) + file};
#else
  tavirex::PosixPlatformOptions options = tavirex::PosixPlatform::OptionsFromEnvironment();
  options.interactive = false;
  const std::string windows_dir = options.windows_dir.empty() ? "C:\\windows" : options.windows_dir;
  auto platform = std::make_unique<tavirex::PosixPlatform>(options);
  std::filesystem::path path = platform->ToNativePath(windows_dir + file);
  // The platform, like Windows, finds the file whatever the case of its name.
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
      if (tavirex::EqualsIgnoreCaseAscii(entry.path().filename().string(),
                                         tavirex::kEquipIniFileName)) {
        path = entry.path();
      }
    }
  }
  return {std::move(platform), path.string()};
#endif
}

}  // namespace

int main(int argc, char** argv) {
  Workstation workstation = OpenWorkstation();
  tavirex::config::ToolContext context{*workstation.platform, workstation.equip_ini_path, std::cout,
                                       std::cerr};
  return tavirex::config::RunConfigTool(std::vector<std::string>(argv + 1, argv + argc), context);
}
