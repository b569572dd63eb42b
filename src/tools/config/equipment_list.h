// What the tool reads of a workstation: the equipment INI's bytes and its
// "Equipment" list, and a clsTavirex object that answers through the plug-in's
// own rules without showing its message boxes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hostenv/host_paths.h"
#include "plugin/catalogue.h"
#include "plugin/cls_tavirex.h"
#include "plugin/image_list_view.h"
#include "tools/config/config_tool.h"
#include "tools/config/ini_document.h"
#include "tools/config/tool_platform.h"
#include "winrules/class_name.h"
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
  int index = 0;         // its key: 1, 2, ...
  std::size_t line = 0;  // the key's line in the document
  std::string value;     // as the plug-in reads it
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

// The decimal number a key of "Equipment" is named by ("12") as the lookup
// writes it; nullopt for other keys.
std::optional<int> EntryIndex(const std::string& key);

// Refuses a name outside the catalogue and lists the names; kExitRefused.
int RefuseDeviceName(const std::string& command, const std::string& name, ToolContext& context);
// The method of the host's server-connection component, a name as VB writes
// one.
bool IsMethodName(const std::string& name);
// Why a label cannot stand in a list entry; "" when it can.
std::string LabelProblem(const std::string& label);
std::string ErrorText(const VbError& error);  // "Err 13 Type mismatch"

// Why a value, as the profile API returned it, is not what was meant: an
// inline comment (the API keeps it), or quotes or blanks the API left; "".
std::string ValueProblem(const std::string& value);
// Why the plug-in would not read a folder or program path back as given; "".
std::string PathProblem(const std::string& path);
// "C:\a\b" -> "C:\a"; "C:\a" -> "C:\"; "" when the path names no parent.
std::string ParentFolder(const std::string& folder);

// An edit of the equipment INI from the file as it is: its bytes (nullopt
// when missing), the document and its "Equipment" list, and the plug-in's
// object to look up entries with.
struct Edit {
  explicit Edit(ToolContext& context);
  ToolContext& context;
  std::optional<std::string> bytes;
  IniDocument document;
  PluginSession session;
  EquipmentList list;
  // Why the file cannot be edited safely; "" when it can.
  std::string refusal;
};

// Sets `key` of `section` (the first such key line; the section is appended
// when missing) or removes every line of that key.
void SetKey(IniDocument& document, const std::string& section, std::string_view key,
            std::string_view value);
void RemoveKey(IniDocument& document, const std::string& section, std::string_view key);
// The "Number" line with its value replaced; a trailing text after the
// number (a note someone wrote there) stays.
std::string WithNumber(const std::string& line, int number);

// Writes the edited document over the file, keeping the old one as
// PXEquip.ini.bak, in one rename; reports it. kExitOk or kExitWriteFailed
// (the file is then unchanged).
int WriteEdit(const Edit& edit, const std::string& command);
// "Backup", "Written" and the like, in the column the reports use.
std::string Column(const std::string& title);
// A warning when the parent of `folder` is missing: Capture creates one
// level only. "" otherwise.
std::string MissingParentWarning(Platform& platform, const std::string& folder);

}  // namespace tavirex::config
