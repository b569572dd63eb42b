// check: what each device function would use at run time, and what would
// go wrong there.
#include <algorithm>
#include <set>

#include "capture/capture_settings.h"
#include "hostenv/host_paths.h"
#include "interface/equip_settings.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "tools/config/text_table.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
namespace {

std::string OriginText(SettingOrigin origin) {
  switch (origin) {
    case SettingOrigin::kConfigured:
      return "configured";
    case SettingOrigin::kReviewTwin:
      return "Review twin";
    case SettingOrigin::kDefaultProgramPath:
      return "default";
    case SettingOrigin::kHostProgramsFolder:
      return "PgmsDir";
    case SettingOrigin::kDropFolderData:
      return "drop + \\Data";
    case SettingOrigin::kHostValue:
      return "host's value";
  }
  return "";
}

// Two spellings of one folder, as Windows compares paths.
std::string FolderIdentity(const std::string& folder) {
  std::string identity = UpperAscii(folder);
  std::replace(identity.begin(), identity.end(), '/', '\\');
  while (identity.size() > 1 && identity.back() == '\\') identity.pop_back();
  return identity;
}

// "C:\a\b" -> "C:\a"; "C:\a" -> "C:\"; "" when the path names no parent.
std::string ParentFolder(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  std::size_t last = path.rfind('\\');
  if (last == std::string::npos || last == 0) return "";
  std::string parent = path.substr(0, last);
  if (parent.size() == 2 && parent[1] == ':') parent += '\\';
  return parent;
}

// Writes and removes a probe file: the import copies into the store folder
// and deletes from the drop folder, under the user running the host.
bool Writable(Platform& platform, const std::string& folder) {
  const std::string probe = folder + "\\~tavirex-config.tmp";
  try {
    platform.AppendToFile(probe, "");
    platform.DeleteFile(probe);
    return true;
  } catch (const VbError&) {
    return false;
  }
}

struct Lookup {
  std::optional<int> number;
  std::optional<VbError> error;
  bool listed() const { return error || (number && *number != 0); }
  std::string Text() const {
    if (error) return "Err " + std::to_string(error->number());
    return *number == 0 ? "-" : std::to_string(*number);
  }
};

class Checker {
 public:
  explicit Checker(ToolContext& context)
      : context_(context),
        session_(context.platform),
        table_({"Device function", "No.", "Setting", "Value", "From", "State"}) {}

  int Run();

 private:
  Lookup LookUp(const std::string& name) {
    try {
      return {session_.object().GetEquipNumber(EquipmentKey(name)), std::nullopt};
    } catch (const VbError& error) {
      return {std::nullopt, error};
    }
  }
  void Problem(const std::string& text) { problems_.push_back(text); }
  void LookupProblem(const std::string& name, const VbError& error, const std::string& effect);
  // Describes a folder Capture creates (one level) and writes to.
  std::string CaptureFolderState(const std::string& name, const std::string& role,
                                 const std::string& folder, bool configured);
  void CheckModel(const std::string& capture_name, const std::string& review_name);

  ToolContext& context_;
  PluginSession session_;
  TextTable table_;
  EquipmentList list_;
  std::vector<std::string> problems_;
};

void Checker::LookupProblem(const std::string& name, const VbError& error,
                            const std::string& effect) {
  // An unreadable "Number" fails every lookup; it is reported once.
  if (list_.count_error) return;
  Problem(name + ": the plug-in's lookup of its entry fails (" + ErrorText(error) + "): " + effect);
}

std::string Checker::CaptureFolderState(const std::string& name, const std::string& role,
                                        const std::string& folder, bool configured) {
  Platform& platform = session_.platform();
  if (folder.empty()) {
    if (configured) Problem(name + ": no " + role + ": Capture fails when it creates it");
    return "no folder";
  }
  if (platform.FolderExists(folder)) {
    if (Writable(platform, folder)) return "exists, writable";
    if (configured) Problem(name + ": " + role + " " + folder + " is not writable");
    return "NOT WRITABLE";
  }
  const std::string parent = ParentFolder(folder);
  if (!parent.empty() && platform.FolderExists(parent)) return "missing; Capture creates it";
  if (configured) {
    Problem(name + ": " + role + " " + folder +
            " is missing and so is its parent: Capture fails (Err 76 Path not found)");
  }
  return "missing, no parent";
}

void Checker::CheckModel(const std::string& capture_name, const std::string& review_name) {
  ClsTavirex& object = session_.object();
  const Lookup capture = LookUp(capture_name);
  const Lookup review = LookUp(review_name);
  const bool configured = capture.listed() || review.listed();

  // Capture, through the workflow's own settings stage.
  object.props().DeviceName = capture_name;
  std::optional<CaptureSettings> settings;
  try {
    settings = SettleCaptureSettings(object);
  } catch (const VbError& error) {
    LookupProblem(capture_name, error, "every capture ends in an error report");
    table_.AddRow({capture_name, capture.Text(), "settings", "-", "", ErrorText(error)});
  }
  if (settings) {
    const bool program_found = session_.platform().FileExists(settings->program_path);
    if (configured && !program_found) {
      Problem(capture_name + ": the vendor program " + settings->program_path +
              " is missing: Capture shows \"File Not Found\" and starts nothing");
    }
    table_.AddRow({capture_name, capture.Text(), "program", settings->program_path,
                   OriginText(settings->program_origin), program_found ? "found" : "MISSING"});
    table_.AddRow(
        {"", "", "drop folder", settings->drop_folder, OriginText(settings->drop_origin),
         CaptureFolderState(capture_name, "drop folder", settings->drop_folder, configured)});
    table_.AddRow(
        {"", "", "store folder", settings->store_folder, OriginText(settings->store_origin),
         CaptureFolderState(capture_name, "store folder", settings->store_folder, configured)});
    if (configured && !settings->drop_folder.empty() &&
        FolderIdentity(settings->drop_folder) == FolderIdentity(settings->store_folder)) {
      Problem(capture_name + ": drop folder and store folder are the same (" +
              settings->drop_folder + "): the next capture imports the stored images again");
    }
  }

  // Review and Count: the folder Count takes after the host's LoadEquipProps.
  object.props().DeviceName = review_name;
  object.LoadEquipProps(review_name);
  std::optional<std::string> folder;
  SettingOrigin origin = SettingOrigin::kHostProgramsFolder;
  try {
    if (object.ReadDeviceSetting(review_name, kEquipDataPathKey)) {
      origin = SettingOrigin::kConfigured;
    }
    object.NumPatientImageFiles();
    folder = object.props().EquipDataPath;
  } catch (const VbError& error) {
    LookupProblem(review_name, error, "Review and Count fail");
    table_.AddRow({review_name, review.Text(), "folder", "-", "", ErrorText(error)});
  }
  if (folder && folder->empty()) {
    // Review then falls back on its Capture twin's folder, Count on nothing.
    if (configured) {
      Problem(review_name + ": no folder (neither \"EquipDataPath\" nor PgmsDir): Count finds " +
              "no images and Review lists a fallback folder");
    }
    table_.AddRow({review_name, review.Text(), "folder", "(none)", "", "Count finds nothing"});
  } else if (folder) {
    const bool exists = session_.platform().FolderExists(*folder);
    table_.AddRow({review_name, review.Text(), "folder", *folder, OriginText(origin),
                   exists ? "exists" : "missing"});
    if (configured && settings &&
        FolderIdentity(settings->store_folder) != FolderIdentity(*folder)) {
      Problem(capture_name + ": stores into " + settings->store_folder + " but " + review_name +
              " lists " + *folder + ": captured images will not show in Review");
    }
  }
  table_.AddGap();
}

int Checker::Run() {
  std::ostream& out = context_.out;
  const std::optional<std::string> bytes = ReadFileBytes(context_.equip_ini_path);
  const IniDocument document(bytes.value_or(""));
  list_ = ReadEquipmentList(document, session_.platform());
  const std::string pgms_dir = GetPgmsDir(session_.platform());

  out << "Equipment INI   " << context_.equip_ini_path << (bytes ? "" : "  (missing)") << "\n"
      << "Host programs   " << (pgms_dir.empty() ? "(none)" : pgms_dir)
      << "  (\"PgmsDir\" of praxo32.ini)\n"
      << "Entries read    " << list_.count
      << "  (\"Number\" = " << (list_.number_text.empty() ? "(none)" : list_.number_text)
      << ")\n\n";

  if (!bytes) Problem("PXEquip.ini is missing: no device function is configured");
  if (bytes && !EncodingProblem(*bytes).empty()) Problem("PXEquip.ini " + EncodingProblem(*bytes));
  if (list_.count_error) {
    Problem("[Equipment] \"Number\" is " + list_.number_text + ", beyond 32767: every lookup " +
            "fails (" + ErrorText(*list_.count_error) + ") and no device function works");
  }
  for (const ListEntry& entry : list_.entries) {
    if (!entry.issue.empty()) {
      Problem("[Equipment] entry " + std::to_string(entry.index) + "=" + entry.value + ": " +
              entry.issue);
    }
  }
  bool any_listed = false;
  for (const ListEntry& entry : list_.entries) any_listed |= entry.ours && entry.issue.empty();
  if (bytes && !any_listed && !list_.count_error) {
    Problem("PXEquip.ini lists no device function of this plug-in");
  }

  const std::vector<std::string> names = ClsTavirex::DeviceNames();
  for (std::size_t i = 0; i + 1 < names.size(); i += 2) CheckModel(names[i], names[i + 1]);
  table_.Print(out);

  // The host INI's boxes, shown at start-up, with every object or every count.
  std::set<std::string> seen;
  for (const ToolPlatform::Box& box : session_.platform().boxes()) {
    std::string text = "the plug-in shows the message \"" + box.text + "\" (title \"" + box.title +
                       "\"): check [System] \"DataDir\" and \"PgmsDir\" in praxo32.ini";
    if (seen.insert(text).second) Problem(text);
  }

  if (problems_.empty()) {
    out << "No problems found.\n";
    return kExitOk;
  }
  out << "Problems (" << problems_.size() << "):\n";
  for (std::size_t i = 0; i < problems_.size(); ++i) {
    out << "  " << i + 1 << ". " << problems_[i] << "\n";
  }
  return kExitProblems;
}

}  // namespace

int RunCheck(ToolContext& context) {
  Checker checker(context);
  return checker.Run();
}

}  // namespace tavirex::config
