// The commands of tavirex-config.
#pragma once

#include <string>

#include "tools/config/config_tool.h"

namespace tavirex::config {

int RunCheck(ToolContext& context);
int RunList(ToolContext& context);

struct AddRequest {
  std::string device_name;
  std::string data_folder;
  std::string program_path;  // "" for the default (Capture only)
  std::string label;         // "" for the device name
};
int RunAdd(const AddRequest& request, ToolContext& context);

}  // namespace tavirex::config
