// What the tool reads of a workstation: the equipment INI's bytes and its
// "Equipment" list, a clsTavirex object that answers through the plug-in's
// own rules without showing its message boxes, and the rules a value must
// meet for the plug-in to read it as meant.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hostenv/forwarding_platform.h"
#include "hostenv/host_paths.h"
#include "plugin/catalogue.h"
#include "plugin/cls_tavirex.h"
#include "plugin/image_list_view.h"
#include "tools/config/config_tool.h"
#include "tools/config/file_access.h"
#include "tools/config/ini_document.h"
#include "winrules/class_name.h"
#include "winrules/vb_error.h"

namespace tavirex::config {

// Keys the tool sets beside the device functions: the host's receive log in
// [Equipment], the DICOM outbox in [Tavirex].
inline constexpr const char* kWriteReceiveDataLogKey = "WriteReceiveDataLog";
inline constexpr const char* kDicomOutboxKey = "DicomOutbox";

// The workstation's services as the tool uses them: the plug-in's message
// boxes are collected for the report (answered OK, or No and Cancel where
// offered); nothing is started, no folder changed, no server component made.
class ToolPlatform final : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  struct Box {
    std::string title, text;
  };
  const std::vector<Box>& boxes() const { return boxes_; }
  int MessageBox(const std::string& text, int style,
                 const std::optional<std::string>& title) override {
    boxes_.push_back({title.value_or(std::string(kDefaultAppTitle)), text});
    const int buttons = style & 0xF;
    return buttons == msgbox::kOkCancel ? msgbox::kCancel
           : buttons == msgbox::kYesNo  ? msgbox::kNo
                                        : msgbox::kOk;
  }
  std::intptr_t ShellExecute(std::uintptr_t, const std::string&, const std::string&,
                             const std::string&, const std::string&, int) override {
    return shellexec::kFileNotFound;
  }
  void SetCurrentDirectory(const std::string&) override {}
  std::shared_ptr<void> ConnectHostServer(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::make_shared<int>(0);
  }

 private:
  std::vector<Box> boxes_;
};

// The plug-in's object as the host creates it, on the tool's platform: its
// start-up and construction run (their boxes are collected, not shown).
class PluginSession {
 public:
  explicit PluginSession(Platform& workstation)
      : platform_(workstation), module_(platform_), object_(module_, no_window_) {}
  ClsTavirex& object() { return object_; }
  ToolPlatform& platform() { return platform_; }
  // The equipment number the lookup finds for `name`; -1 when it fails.
  int Number(const std::string& name);

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

// Why the INI file at `path` cannot be taken as the plug-in reads it
// (missing, unreadable, not a file; `effect` says what that does) or as this
// tool edits it (not ANSI text), with what to do; "" when it can.
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

// "\"NAME\" is not one of the plug-in's device names" and the names.
std::string NotADeviceName(const std::string& name);
// The method of the host's server-connection component, a name as VB
// writes one.
bool IsMethodName(const std::string& name);
std::string ErrorText(const VbError& error);  // "Err 13 Type mismatch"

// Why a value, as the profile API returned it, is not what was meant: an
// inline comment (the API keeps it), or quotes or blanks the API left; "".
std::string ValueProblem(const std::string& value);
// Why a label cannot stand in a list entry; "" when it can.
std::string LabelProblem(const std::string& label);
// Why a folder or program path would not work as given: the plug-in would
// not read it back, or Windows refuses one of its names; "".
std::string PathProblem(const std::string& path);
// "C:\a\b" -> "C:\a"; "C:\a" -> "C:\"; "" when the path names no parent.
std::string ParentFolder(const std::string& folder);
// Two spellings of one folder, as Windows compares paths.
std::string FolderIdentity(const std::string& folder);
// Whether `inner` is `outer` or lies inside it.
bool IsWithin(const std::string& inner, const std::string& outer);

// "Backup", "Written" and the like, in the column the reports use.
std::string Column(const std::string& title);

}  // namespace tavirex::config
