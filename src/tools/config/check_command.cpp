// check: what each device function would use at run time and what would go
// wrong there; list: the entries of [Equipment] and their settings.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "hostenv/error_report.h"
#include "hostenv/forwarding_platform.h"
#include "hostenv/host_paths.h"
#include "hostenv/system.h"
#include "plugin/capture.h"
#include "plugin/catalogue.h"
#include "plugin/image_list_view.h"
#include "tools/config/equipment_list.h"
#include "vocabulary/outbox_job.h"
#include "vocabulary/stored_name.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
namespace {

namespace fs = std::filesystem;

// Windows' longest path.
constexpr std::size_t kMaxPath = 259;
// The longest exam record number a host gives, for the room a stored name takes.
constexpr std::int32_t kLongestExam = 2147483647;

// Two spellings of one folder, as Windows compares paths.
std::string FolderIdentity(const std::string& folder) {
  std::string identity = Replace(UpperAscii(folder), "/", "\\");
  while (identity.size() > 1 && identity.back() == '\\') identity.pop_back();
  return identity;
}

bool IsWithin(const std::string& inner, const std::string& outer) {
  const std::string out = FolderIdentity(outer);
  return !out.empty() && (FolderIdentity(inner) + "\\").starts_with(out + "\\");
}

std::string OriginText(SettingOrigin origin) {
  constexpr const char* kTexts[] = {"configured", "Review twin",   "default",
                                    "PgmsDir",    "drop + \\Data", "host's value"};
  return kTexts[static_cast<int>(origin)];
}

// By a probe file: the import writes and deletes as the user running the host.
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

// Columns aligned for a terminal: the first row's headers, a rule, then the
// rows; an empty row is a gap between groups.
void PrintTable(std::vector<std::vector<std::string>> rows, std::ostream& out) {
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  rows.insert(rows.begin() + 1, std::vector<std::string>());
  for (std::size_t width : widths) rows[1].emplace_back(width, '-');
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i] + std::string(widths[i] + 2 - row[i].size(), ' ');
    }
    out << line.erase(line.find_last_not_of(' ') + 1) << "\n";
  }
}

using Json = nlohmann::ordered_json;

Json OrNull(const std::string& value) { return value.empty() ? Json() : Json(value); }
std::string Or(const Json& value, const char* none) {
  return value.is_null() ? none : value.get<std::string>();
}

// What each log means to the host when the plug-in cannot write it.
constexpr std::pair<const char*, const char*> kLogFiles[] = {
    {kErrorFileName,
     "after its message box every failure report ends in a failed call with Err 75 "
     "\"Path/File access error\" instead of the failure's own number"},
    {kLogFileName,
     "a failure of Capture or of DoDeviceFunction then ends in Err 75 \"Path/File access "
     "error\" before it is reported"},
    {kHostLogFileName, "WriteToLog then reports Err 75 whenever the host turns its log on"},
};

// The report is the JSON object check --json prints; the text is drawn from it.
// The checker stands in for the host's user before the plug-in's object: it
// runs on the workstation's services, but collects the message boxes for the
// report (answered OK, or No and Cancel) and starts nothing, changes no
// folder, makes no component and shows no window.
class Checker final : public ForwardingPlatform, public ImageListView {
 public:
  explicit Checker(ToolContext& context)
      : ForwardingPlatform(context.platform),
        context_(context),
        module_(*this),
        object_(module_, *this) {}
  int Run(bool json);

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
  void ShowModal(FrmImageFiles&) override {}
  void SetWaitCursor(bool) override {}

 private:
  Platform& platform() { return *this; }
  std::string Read(const std::string& section, const std::string& key) {
    return platform().ReadProfileString(section, key, kEquipIniFileName);
  }
  void Problem(const std::string& text, const std::string& device_function = "") {
    report_["problems"].push_back({{"device_function", OrNull(device_function)}, {"text", text}});
  }
  Json Function(const std::string& name);  // with the lookup of its number
  std::string FolderState(const std::string& name, const std::string& role,
                          const std::string& folder, bool configured);
  void CheckDropFolder(const std::string& name, const CaptureSettings& settings);
  void CheckModel(const std::string& capture_name, const std::string& review_name);
  void CheckValues();
  void CheckServerConnection(const std::string& server_class, const std::string& method);
  void CheckOutbox(const std::string& outbox);
  void CheckForwarder();
  void CheckLogs(const std::string& folder);
  void PrintText() const;

  ToolContext& context_;
  std::vector<std::pair<std::string, std::string>> boxes_;  // title, text
  HostModule module_;
  ClsTavirex object_;
  EquipmentList list_;
  Json report_;
  std::vector<std::pair<std::string, std::string>> image_folders_;  // role, folder
};

Json Checker::Function(const std::string& name) {
  Json function = {{"name", name},
                   {"equipment_number", nullptr},
                   {"lookup_error", nullptr},
                   {"settings", Json::array()}};
  try {
    function["equipment_number"] = GetEquipNumber(platform(), EquipmentKey(name));
  } catch (const VbError& error) {
    function["lookup_error"] = ErrorText(error);
  }
  return function;
}

// Describes a folder Capture creates (one level) and writes to.
std::string Checker::FolderState(const std::string& name, const std::string& role,
                                 const std::string& folder, bool configured) {
  // The state, and what then goes wrong when the function is configured.
  auto failing = [&](const char* state, const std::string& problem) {
    if (configured) Problem(name + ": " + problem, name);
    return std::string(state);
  };
  if (folder.empty()) {
    return failing("no folder", "no " + role + ": Capture fails when it creates it");
  }
  if (configured) image_folders_.emplace_back(name + "'s " + role, folder);
  if (platform().FolderExists(folder)) {
    if (Writable(platform(), folder)) return "exists, writable";
    return failing("NOT WRITABLE", role + " " + folder + " is not writable");
  }
  const std::string parent = ProgramFolder(folder.substr(0, folder.find_last_not_of('\\') + 1));
  if (!parent.empty() && platform().FolderExists(parent)) return "missing; Capture creates it";
  return failing("missing, no parent", role + " " + folder +
                                           " is missing and so is its parent: Capture fails (" +
                                           ErrorText(VbError(vberr::kPathNotFound)) + ")");
}

// Files a cancelled capture left, which the next one imports under its own
// patient's exam, and names the store folder has no room for.
void Checker::CheckDropFolder(const std::string& name, const CaptureSettings& settings) {
  std::vector<std::string> files;
  try {
    files = platform().FolderFileNames(settings.drop_folder);
  } catch (const VbError&) {
  }
  std::size_t longest = kStoredNameRoom;
  std::string oldest;
  fs::file_time_type oldest_time;
  for (const std::string& file : files) {
    longest = std::max(longest, MakeStoredName(file, kLongestExam).size());
    std::error_code error;
    const auto time = fs::last_write_time(
        context_.platform.NativePath(settings.drop_folder + "\\" + file), error);
    if (oldest.empty() || time < oldest_time) oldest = file, oldest_time = time;
  }
  if (!files.empty()) {
    char when[32] = "";
    const std::time_t seconds =
        std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(oldest_time));
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", std::localtime(&seconds));
    Problem(name + ": the drop folder " + settings.drop_folder + " holds " +
                std::to_string(files.size()) + " file(s), the oldest " + oldest + " from " + when +
                ": the next Capture, for whichever patient, imports them under that patient's "
                "exam; move them to where they belong first",
            name);
  }
  const std::size_t room = kMaxPath - std::min(kMaxPath, settings.store_folder.size() + 1);
  if (room < longest) {
    Problem(name + ": the store folder " + settings.store_folder + " leaves " +
                std::to_string(room) + " characters for an image name within Windows' " +
                "260-character paths, and its names take up to " + std::to_string(longest) +
                ": choose a shorter folder",
            name);
  }
}

void Checker::CheckModel(const std::string& capture_name, const std::string& review_name) {
  Json capture = Function(capture_name);
  Json review = Function(review_name);
  // Listed, or its lookup fails (no number).
  const bool configured = capture["equipment_number"] != 0 || review["equipment_number"] != 0;
  auto row = [](Json& function, const char* setting, const std::string& value,
                const std::string& from, const std::string& state) {
    function["settings"].push_back(
        {{"setting", setting}, {"value", value}, {"from", from}, {"state", state}});
  };
  // A failed lookup of the entry; an unreadable "Number" fails every lookup
  // and is reported once.
  auto lookup_failed = [&](Json& function, const char* setting, const VbError& error,
                           const char* effect) {
    const std::string name = function["name"];
    if (!list_.count_error) {
      Problem(
          name + ": the plug-in's lookup of its entry fails (" + ErrorText(error) + "): " + effect,
          name);
    }
    row(function, setting, "-", "", ErrorText(error));
  };

  // Capture, through the workflow's own settings stage.
  object_.props().DeviceName = capture_name;
  std::optional<CaptureSettings> settings;
  try {
    settings = SettleCaptureSettings(object_);
  } catch (const VbError& error) {
    lookup_failed(capture, "settings", error, "every capture ends in an error report");
  }
  if (settings) {
    const bool found = platform().FileExists(settings->program_path);
    if (configured && !found) {
      Problem(capture_name + ": the vendor program " + settings->program_path +
                  " is missing: Capture shows \"File Not Found\" and starts nothing",
              capture_name);
    }
    row(capture, "program", settings->program_path, OriginText(settings->program_origin),
        found ? "found" : "MISSING");
    row(capture, "drop folder", settings->drop_folder, OriginText(settings->drop_origin),
        FolderState(capture_name, "drop folder", settings->drop_folder, configured));
    row(capture, "store folder", settings->store_folder, OriginText(settings->store_origin),
        FolderState(capture_name, "store folder", settings->store_folder, configured));
    if (configured && !settings->drop_folder.empty() &&
        FolderIdentity(settings->drop_folder) == FolderIdentity(settings->store_folder)) {
      Problem(capture_name + ": drop folder and store folder are the same (" +
                  settings->drop_folder + "): the next capture imports the stored images again",
              capture_name);
    }
    if (configured) CheckDropFolder(capture_name, *settings);
  }

  // Review and Count: the folder Count takes after the host's LoadEquipProps.
  object_.props().DeviceName = review_name;
  object_.LoadEquipProps(review_name);
  std::optional<std::string> folder;
  SettingOrigin origin = SettingOrigin::kHostProgramsFolder;
  try {
    if (ReadDeviceSetting(object_.platform(), review_name, kEquipDataPathKey)) {
      origin = SettingOrigin::kConfigured;
    }
    object_.NumPatientImageFiles();
    folder = object_.props().EquipDataPath;
  } catch (const VbError& error) {
    lookup_failed(review, "folder", error, "Review and Count fail");
  }
  if (folder && folder->empty()) {
    // Review then falls back on its Capture twin's folder, Count on nothing.
    if (configured) {
      Problem(review_name + ": no folder (neither \"EquipDataPath\" nor PgmsDir): Count finds " +
                  "no images and Review lists a fallback folder",
              review_name);
    }
    row(review, "folder", "(none)", "", "Count finds nothing");
  } else if (folder) {
    row(review, "folder", *folder, OriginText(origin),
        platform().FolderExists(*folder) ? "exists" : "missing");
    if (configured && settings &&
        FolderIdentity(settings->store_folder) != FolderIdentity(*folder)) {
      Problem(capture_name + ": stores into " + settings->store_folder + " but " + review_name +
                  " lists " + *folder + ": captured images will not show in Review",
              capture_name);
    }
  }
  report_["device_functions"].push_back(std::move(capture));
  report_["device_functions"].push_back(std::move(review));
}

// Values that do not say what was meant (pasted inline comments), and paths
// Windows refuses; each with its fix.
void Checker::CheckValues() {
  auto check = [&](const std::string& section, const std::string& key, const std::string& device,
                   const std::string& fix) {
    const std::string value = Read(section, key);
    if (std::string why =
            device.empty() || value.empty() ? ValueProblem(value) : PathProblem(value);
        !why.empty()) {
      Problem((device.empty() ? "" : device + ": ") + "\"" + key + "\" of [" + section + "] is \"" +
                  value + "\", which " + why + "; set it with tavirex-config " + fix,
              device);
    }
  };
  check(kEquipmentSection, kWriteReceiveDataLogKey, "", "receive-log on|off");
  for (const ListEntry& entry : list_.entries) {
    if (!entry.ours || !entry.issue.empty() || !entry.number) continue;
    for (const char* key : {kEquipProgPathFNameKey, kEquipDataPathKey}) {
      check(std::to_string(*entry.number), key, entry.device_name,
            "set \"" + entry.device_name + "\"");
    }
  }
  check(kServerConnectionSection, kServerConnectionClassKey, "", "server");
  check(kServerConnectionSection, kServerConnectionMethodKey, "", "server");
}

void Checker::CheckServerConnection(const std::string& server_class, const std::string& method) {
  const std::string where = std::string(" of [") + kServerConnectionSection + "]";
  if (!server_class.empty() && !IsClassName(server_class)) {
    Problem("\"" + std::string(kServerConnectionClassKey) + "\"" + where + " is \"" + server_class +
            "\", neither a ProgID nor a {CLSID}");
  } else if (!server_class.empty() && FindClassRegistration(server_class).state ==
                                          ClassRegistration::State::kNotRegistered) {
    Problem("the server-connection class " + server_class +
            " is not registered on this workstation: on a database-server route (ConnectThru "
            "MSDE or SQL) the plug-in's start-up cannot create it (" +
            ErrorText(VbError(vberr::kCantCreateObject)) + ")");
  }
  if (!method.empty() && !IsMethodName(method)) {
    Problem("\"" + std::string(kServerConnectionMethodKey) + "\"" + where + " is \"" + method +
            "\", which is no method name");
  }
  if (!method.empty() && server_class.empty()) {
    Problem("\"" + std::string(kServerConnectionMethodKey) + "\"" + where + " is set but \"" +
            kServerConnectionClassKey + "\" is not: the plug-in creates nothing");
  }
}

// The folder each Capture writes a DICOM job into: there, writable, apart
// from the image folders, and private, as jobs carry patient data.
void Checker::CheckOutbox(const std::string& outbox) {
  if (outbox.empty()) return;
  const std::string name = "the DICOM outbox " + outbox;
  if (std::string why = PathProblem(outbox); !why.empty()) {
    return Problem(name + " " + why + "; set it with tavirex-config outbox");
  }
  if (!platform().FolderExists(outbox)) {
#ifndef _WIN32
    // Here the workstation's share is a mounted folder, not a UNC path.
    if (outbox.starts_with("\\\\")) {
      return Problem(name + " is a share this machine does not open by that name: check it on " +
                     "a workstation; the forwarder's outbox = names the folder it is mounted on");
    }
#endif
    return Problem(name + " is missing: every Capture fails to write its job; create it");
  }
  if (!Writable(platform(), outbox)) {
    Problem(name + " is not writable by this user: every Capture fails to write its job");
  }
  for (const auto& [role, folder] : image_folders_) {
    if (IsWithin(outbox, folder)) {
      Problem(name + " is, or lies in, " + role + " " + folder +
              ": Count and the import would meet the jobs; choose a folder of its own");
    }
  }
  if (EveryoneCanRead(context_.platform.NativePath(outbox))) {
    Problem(name + " can be read by every user, and its jobs carry patient data: let only the " +
            "users who capture and the forwarder read it");
  }
}

// Whether the forwarder's service is installed here and running; only an
// administrator may read its queue, so the rest is left to its status command.
void Checker::CheckForwarder() {
  using State = ServiceStatus::State;
  const std::string service = kForwarderServiceName;
  const ServiceStatus status = context_.find_service(service);
  // The state's name in the JSON, and what the text says of it.
  const std::pair<const char*, std::string> kStates[] = {
      {"unknown", ""},
      {"not installed", "is not installed on this computer (it may run on the file server)"},
      {"stopped", "is installed but stopped (start it: sc start " + service + ")"},
      {"starting", "is installed and starting"},
      {"running", "is installed and running"},
      {"stopping", "is installed and stopping"},
      {"paused", "is installed but paused (continue it: sc continue " + service + ")"}};
  const auto& [name, said] = kStates[static_cast<int>(status.state)];
  std::string text = "the service " + service + " " + said;
  if (status.state == State::kUnknown) {
    text = status.why.empty() ? "this system has no service manager to ask"
                              : "the service manager does not say whether the service " + service +
                                    " is installed (" + status.why + ")";
  }
  text += status.state <= State::kNotInstalled ? "; where it runs," : ";";
  text += " an administrator sees its queue with: tavirex-dicom status";
  report_["dicom_forwarder"] = {{"service", service}, {"state", name}, {"text", text}};
}

// Each log opened as the plug-in opens it, for appending; one that was
// missing is removed again.
void Checker::CheckLogs(const std::string& folder) {
  if (context_.plugin_not_registered) {
    Problem(std::string(kClassProgId) +
            " is not registered on this workstation: the host cannot create the plug-in (" +
            ErrorText(VbError(vberr::kCantCreateObject)) +
            "); install the package or run regsvr32");
  }
  for (const auto& [file, effect] : kLogFiles) {
    const std::string path = folder + "\\" + file;
    const bool existed = platform().FileExists(path);
    const std::string cannot = existed ? "cannot be appended to" : "cannot be created";
    std::string state = existed ? "can be appended to" : "missing; can be created";
    bool ok = false;
    try {
      platform().AppendToFile(path, "");
      ok = true;
      if (!existed) platform().DeleteFile(path);
    } catch (const VbError& error) {
      state = ok ? "created (and left: it could not be removed again)"
                 : UpperAscii(cannot) + " (" + ErrorText(error) + ")";
      if (!ok) {
        Problem(std::string(file) + " in " + folder + " " + cannot + " by this user (" +
                ErrorText(error) + "): " + effect +
                ". An administrator lets the users write it (on Windows the icacls commands of "
                "the README, Installing at a practice: Logs)");
      }
    }
    report_["logs"].push_back({{"file", file}, {"path", path}, {"state", state}, {"ok", ok}});
  }
}

void Checker::PrintText() const {
  std::ostream& out = context_.out;
  const Json& r = report_;
  out << "Equipment INI   " << context_.equip_ini_path
      << (r["equipment_ini_exists"] ? "" : "  (missing)") << "\n"
      << "Host programs   " << Or(r["host_programs_folder"], "(none)")
      << "  (\"PgmsDir\" of praxo32.ini)\n"
      << "Entries read    " << r["entries_read"] << "  (\"Number\" = " << Or(r["number"], "(none)")
      << ")\n"
      << "Server class    " << Or(r["server_connection_class"], "(not set: nothing is created)")
      << "  (\"" << kServerConnectionClassKey << "\" of [" << kServerConnectionSection
      << "], used when ConnectThru is MSDE or SQL)\n"
      << "Server method   " << Or(r["server_connection_method"], "(not set: SetServerName)")
      << "\nDICOM outbox    " << Or(r["dicom_outbox"], "(not set: no jobs are written)") << "\n";
  if (!r["dicom_forwarder"].is_null()) {
    out << "DICOM forwarder " << r["dicom_forwarder"]["text"].get<std::string>() << "\n";
  }
  out << "\n";

  std::vector<std::vector<std::string>> table = {
      {"Device function", "No.", "Setting", "Value", "From", "State"}};
  for (const Json& function : r["device_functions"]) {
    const Json& number = function["equipment_number"];
    std::string first = function["name"];
    std::string lookup = number.is_null() ? function["lookup_error"].get<std::string>().substr(0, 6)
                         : number == 0    ? "-"
                                          : number.dump();
    for (const Json& setting : function["settings"]) {
      table.push_back(
          {first, lookup, setting["setting"], setting["value"], setting["from"], setting["state"]});
      first.clear(), lookup.clear();
    }
    if (function["name"].get<std::string>().starts_with(kReviewVerb)) table.emplace_back();
  }
  PrintTable(std::move(table), out);

  out << "Log files in " << Or(r["log_folder"], "") << "  (" << Or(r["log_folder_origin"], "")
      << ")\n";
  for (const Json& log : r["logs"]) {
    const std::string file = log["file"];
    out << "  " << file << std::string(20 - file.size(), ' ') << Or(log["state"], "") << "\n";
  }
  out << (r["problems"].empty() ? "\nNo problems found.\n"
                                : "\nProblems (" + std::to_string(r["problems"].size()) + "):\n");
  for (std::size_t i = 0; i < r["problems"].size(); ++i) {
    out << "  " << i + 1 << ". " << Or(r["problems"][i]["text"], "") << "\n";
  }
}

int Checker::Run(bool json) {
  const FileState file = ReadFileState(context_.equip_ini_path);
  list_ = ReadEquipmentList(IniDocument(file.bytes), platform());
  const std::string server_class = Read(kServerConnectionSection, kServerConnectionClassKey);
  const std::string method = Read(kServerConnectionSection, kServerConnectionMethodKey);
  const std::string outbox = Read(kTavirexSection, kDicomOutboxKey);
  const bool module_folder = context_.log_folder.empty();
  const std::string log_folder = module_folder ? platform().ModuleFolder() : context_.log_folder;
  report_ = {{"version", TAVIREX_VERSION},
             {"equipment_ini", context_.equip_ini_path},
             {"equipment_ini_exists", file.kind != FileState::Kind::kMissing},
             {"host_programs_folder", OrNull(GetPgmsDir(platform()))},
             {"number", OrNull(list_.number_text)},
             {"entries_read", list_.count},
             {"server_connection_class", OrNull(server_class)},
             {"server_connection_method", OrNull(method)},
             {"dicom_outbox", OrNull(outbox)},
             {"dicom_forwarder", nullptr},
             {"log_folder", log_folder},
             {"log_folder_origin",
              module_folder ? "the plug-in's module folder here" : context_.log_folder_origin},
             {"logs", Json::array()},
             {"device_functions", Json::array()},
             {"problems", Json::array()}};

  if (std::string why = FileProblem(file, context_.equip_ini_path); !why.empty()) Problem(why);
  if (list_.count_error) {
    Problem("[Equipment] \"Number\" is " + list_.number_text + ", beyond 32767: every lookup " +
            "fails (" + ErrorText(*list_.count_error) + ") and no device function works");
  }
  bool any_listed = false;
  for (const ListEntry& entry : list_.entries) {
    any_listed |= entry.ours && entry.issue.empty();
    if (!entry.issue.empty()) {
      Problem("[Equipment] entry " + std::to_string(entry.index) + "=" + entry.value + ": " +
                  entry.issue + "; correct it, or take it out with tavirex-config remove " +
                  std::to_string(entry.index),
              IsCatalogueName(entry.device_name) ? entry.device_name : "");
    }
  }
  if (report_["problems"].empty() && !any_listed) {
    Problem("PXEquip.ini lists no device function of this plug-in");
  }
  CheckValues();
  const std::vector<std::string> names = ClsTavirex::DeviceNames();
  for (std::size_t i = 0; i + 1 < names.size(); i += 2) CheckModel(names[i], names[i + 1]);
  CheckServerConnection(server_class, method);
  CheckOutbox(outbox);
  if (!outbox.empty()) CheckForwarder();
  CheckLogs(log_folder);

  // The host INI's boxes at start-up: one problem for a file that is not there.
  const std::string host_ini = platform().ProfileFilePath(kHostIniFileName);
  const FileState host_file = ReadFileState(host_ini);
  std::set<std::string> seen;
  for (const auto& [title, text] : boxes_) {
    if (!seen.insert(text).second) continue;
    if (host_file.kind != FileState::Kind::kFile) {
      Problem(FileProblem(host_file, host_ini,
                          "the plug-in shows \"" + text + "\" whenever the host creates it"));
      break;
    }
    Problem("the plug-in shows the message \"" + text + "\" (title \"" + title +
            "\"): check [System] \"DataDir\" and \"PgmsDir\" in " + host_ini);
  }
  if (json) {
    context_.out << report_.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  } else {
    PrintText();
  }
  return report_["problems"].empty() ? kExitOk : kExitProblems;
}

}  // namespace

int RunCheck(ToolContext& context, bool json) { return Checker(context).Run(json); }

int RunList(ToolContext& context) {
  std::ostream& out = context.out;
  const FileState file = ReadFileState(context.equip_ini_path);
  Platform& platform = context.platform;
  const EquipmentList list = ReadEquipmentList(IniDocument(file.bytes), platform);
  out << "Equipment INI   " << context.equip_ini_path << "\n"
      << "Entries read    " << list.count
      << "  (\"Number\" = " << (list.number_text.empty() ? "(none)" : list.number_text) << ")\n\n";
  const std::string problem = FileProblem(file, context.equip_ini_path);
  if (list.entries.empty()) out << "[Equipment] has no numbered entries.\n";

  std::vector<std::vector<std::string>> table = {
      {"Key", "No.", "Label", "Device function", "EquipDataPath", "EquipProgPathFName", "Note"}};
  for (const ListEntry& entry : list.entries) {
    const std::string label = entry.fields.size() > 1 ? entry.fields[1] : "";
    std::string device = entry.device_name;
    std::string number = entry.number ? std::to_string(*entry.number) : entry.fields[0];
    std::string data_path, program_path;
    std::string note = entry.issue;
    if (!entry.ours) {
      // Another program's equipment: its key as written, after number and label.
      device = entry.fields.size() < 3
                   ? ""
                   : entry.value.substr(entry.fields[0].size() + entry.fields[1].size() + 2);
      note = "not this plug-in's entry";
    } else if (entry.number_error) {
      note = "number \"" + entry.fields[0] + "\": the lookup fails (" +
             ErrorText(*entry.number_error) + ")";
    } else if (entry.number) {
      const std::string section = std::to_string(*entry.number);
      data_path = platform.ReadProfileString(section, kEquipDataPathKey, kEquipIniFileName);
      program_path = platform.ReadProfileString(section, kEquipProgPathFNameKey, kEquipIniFileName);
    }
    table.push_back(
        {std::to_string(entry.index), number, label, device, data_path, program_path, note});
  }
  if (!list.entries.empty()) PrintTable(std::move(table), out);
  const std::vector<std::string> backups = Backups(context.equip_ini_path);
  out << "\nBackups (tavirex-config restore NAME; the newest last):"
      << (backups.empty() ? " none" : "") << "\n";
  for (const std::string& backup : backups) {
    out << "  " << backup.substr(backup.find_last_of("\\/") + 1) << "\n";
  }
  if (problem.empty()) return kExitOk;
  out << "\nProblem: " << problem << "\n";
  return kExitProblems;
}

}  // namespace tavirex::config
