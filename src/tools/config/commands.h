// The commands of tavirex-config.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/config/config_tool.h"

namespace tavirex::config {

int RunCheck(ToolContext& context, bool json);
int RunList(ToolContext& context);

// add and set: one device function's settings; nullopt leaves a setting as
// it is (add gives the defaults).
struct DeviceRequest {
  std::string device_name;
  std::optional<std::string> data_folder;
  std::optional<std::string> program_path;
  std::optional<std::string> label;
};
// add inserts a function that is not configured, set changes one that is;
// both through the one edit that inserts or replaces.
enum class Upsert { kNew, kExisting };
int RunUpsert(const DeviceRequest& request, Upsert mode, ToolContext& context);

// Takes out the [Equipment] entry that `entry` names: a device name, the
// entry's key, its value or "key=value", as check and list show them.
int RunRemove(const std::string& entry, ToolContext& context);

// Keys of one section: a value sets the key, nullopt removes it; a section
// left without keys goes.
using KeyValues = std::vector<std::pair<std::string, std::optional<std::string>>>;
int RunSetKeys(const std::string& command, const std::string& section, const KeyValues& keys,
               ToolContext& context);

// Puts a backup back (by its file name; "" for the newest); the file it
// replaces becomes a backup in turn.
int RunRestore(const std::string& backup, ToolContext& context);
// The backups of the equipment INI, oldest first.
std::vector<std::string> Backups(const std::string& equip_ini_path);

}  // namespace tavirex::config
