// The commands of tavirex-config.
#pragma once

#include <optional>
#include <string>

#include "tools/config/config_tool.h"

namespace tavirex::config {

int RunCheck(ToolContext& context, bool json);
int RunList(ToolContext& context);

struct AddRequest {
  std::string device_name;
  std::string data_folder;
  std::string program_path;  // "" for the default (Capture only)
  std::string label;         // "" for the device name
};
int RunAdd(const AddRequest& request, ToolContext& context);

// What set changes; nullopt leaves a setting as it is.
struct SetRequest {
  std::string device_name;
  std::optional<std::string> data_folder;
  std::optional<std::string> program_path;
  std::optional<std::string> label;
};
int RunSet(const SetRequest& request, ToolContext& context);
int RunRemove(const std::string& device_name, ToolContext& context);

// The host's server-connection component in section "Tavirex": a class
// (ProgID or "{CLSID}") and optionally its method; nullopt clears both.
struct ServerRequest {
  std::optional<std::string> class_name;
  std::string method;  // "" for the plug-in's default
};
int RunServer(const ServerRequest& request, ToolContext& context);

}  // namespace tavirex::config
