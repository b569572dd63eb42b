// What the tool reads of a workstation: the equipment INI and its "Equipment"
// list, and the rules a value must meet to be read as meant.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hostenv/admin_files.h"
#include "hostenv/host_paths.h"
#include "plugin/catalogue.h"
#include "plugin/cls_tavirex.h"
#include "plugin/outbox.h"
#include "tools/config/config_tool.h"
#include "tools/config/ini_document.h"
#include "winrules/class_name.h"
#include "winrules/vb_error.h"

namespace tavirex::config {

int RunCheck(ToolContext& context, bool json);
int RunList(ToolContext& context);

// add and set: nullopt leaves a setting as it is (add gives the defaults).
struct DeviceRequest {
  std::string device_name;
  std::optional<std::string> data_folder;
  std::optional<std::string> program_path;
  std::optional<std::string> label;
};
// add inserts a function that is not configured, set changes one that is.
enum class Upsert { kNew, kExisting };
int RunUpsert(const DeviceRequest& request, Upsert mode, ToolContext& context);

// Takes out the entry named by its device name, key, value or "key=value".
int RunRemove(const std::string& entry, ToolContext& context);

// Sets keys of a section (nullopt removes one); a section left empty goes.
// `refusal`: why the arguments are refused, before the file's own refusal.
using KeyValues = std::vector<std::pair<std::string, std::optional<std::string>>>;
int RunSetKeys(const std::string& command, const std::string& section, const KeyValues& keys,
               ToolContext& context, const std::string& refusal = "");

// Puts a backup back (by file name; "" the newest); the old file becomes one.
int RunRestore(const std::string& backup, ToolContext& context);
// The backups of the equipment INI, oldest first.
std::vector<std::string> Backups(const std::string& equip_ini_path);

// Why the INI file cannot be read as the plug-in does (`effect`: what that
// does) or edited as ANSI text, with what to do; "".
std::string FileProblem(const FileState& file, const std::string& path,
                        const std::string& effect = "the plug-in finds no device function");

// One numbered entry of section "Equipment".
struct ListEntry {
  int index = 0;         // its key: 1, 2, ...
  std::size_t line = 0;  // the key's line in the document
  std::string value;     // as the plug-in reads it
  std::vector<std::string> fields;
  bool ours = false;        // it names a device function of this plug-in
  std::string device_name;  // the field after "Tavirex"
  // The section the lookup takes (the first field), or why it fails.
  std::optional<int> number;
  std::optional<VbError> number_error;
  // Why the lookup never uses one of ours; "" when it can.
  std::string issue;
};

struct EquipmentList {
  std::string number_text;             // "Number" as read
  int count = 0;                       // entries the lookup reads
  std::optional<VbError> count_error;  // a "Number" beyond 16 bits
  std::vector<ListEntry> entries;      // every numbered key, in key order
};

// The "Equipment" list of `document`, its values read through the platform.
EquipmentList ReadEquipmentList(const IniDocument& document, Platform& platform);

// The number of a key of "Equipment" ("12"); nullopt for other keys.
std::optional<int> EntryIndex(const std::string& key);

// A method name as VB writes one.
bool IsMethodName(const std::string& name);
std::string ErrorText(const VbError& error);  // "Err 13 Type mismatch"

// Why a value, as the profile API returned it, is not what was meant; "".
std::string ValueProblem(const std::string& value);
// Why a folder or program path would not work as given; "".
std::string PathProblem(const std::string& path);

}  // namespace tavirex::config
