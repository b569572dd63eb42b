// What the tool reads of a workstation: the equipment INI's bytes and its
// "Equipment" list, and a clsTavirex object that answers through the plug-in's
// own rules without showing its message boxes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hostenv/host_paths.h"
#include "interface/cls_tavirex.h"
#include "tools/config/ini_document.h"
#include "tools/config/tool_platform.h"
#include "winrules/vb_error.h"

namespace tavirex::config {

// The plug-in's object as the host creates it, on the tool's platform: its
// start-up and construction run (their boxes are collected, not shown).
class PluginSession {
 public:
  explicit PluginSession(Platform& workstation)
      : platform_(workstation), module_(platform_), object_(module_, no_window_) {}
  ClsTavirex& object() { return object_; }
  ToolPlatform& platform() { return platform_; }

 private:
  // The tool reviews nothing, so no image list is ever shown.
  class NoWindow final : public ImageListView {
   public:
    void ShowModal(FrmImageFiles&) override {}
    void SetWaitCursor(bool) override {}
  };

  ToolPlatform platform_;
  HostModule module_;
  NoWindow no_window_;
  ClsTavirex object_;
};

// The file's bytes; nullopt when it cannot be opened (missing).
std::optional<std::string> ReadFileBytes(const std::string& path);
// Writes a temporary file beside `path`, then renames it over `path` through
// `platform`, so a reader sees the old or the new file, never a part. False,
// with the reason in `error`, when that fails; `path` is then unchanged.
bool ReplaceFileContents(Platform& platform, const std::string& path, const std::string& bytes,
                         std::string& error);

// A text the profile API would not read as written; "" for an ANSI file.
std::string EncodingProblem(const std::string& bytes);

// One numbered entry of section "Equipment".
struct ListEntry {
  int index = 0;      // its key: 1, 2, ...
  std::string value;  // as the plug-in reads it
  std::vector<std::string> fields;
  bool ours = false;        // it names a device function of this plug-in
  std::string device_name;  // the field after "Tavirex"
  // The section the lookup would take (the first field as a 16-bit number),
  // or the failure converting it raises.
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

// The "Equipment" list of `document` (the file the platform reads as
// "PXEquip.ini"), its values read through the platform.
EquipmentList ReadEquipmentList(const IniDocument& document, Platform& platform);

bool IsCatalogueName(const std::string& name);
std::string ErrorText(const VbError& error);  // "Err 13 Type mismatch"

}  // namespace tavirex::config
