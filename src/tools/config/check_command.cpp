// check: what each device function would use at run time, what would go
// wrong there, and whether the plug-in can write its logs.
#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>
#include <set>

#include "capture/capture_settings.h"
#include "hostenv/error_report.h"
#include "hostenv/system.h"
#include "interface/equip_settings.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "tools/config/text_table.h"

namespace tavirex::config {
namespace {

// Windows' longest path, and the room a stored image name takes at least:
// the patient key, the exam number, five vendor fields, eye, date and time.
constexpr std::size_t kMaxPath = 259;
constexpr std::size_t kStoredNameRoom = 60;

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

// Writes and removes a probe file: the import copies into the store folder
// and deletes from the drop folder, under the user running the host.
constexpr const char* kProbeName = "~tavirex-config.tmp";
bool Writable(Platform& platform, const std::string& folder) {
  const std::string probe = folder + "\\" + kProbeName;
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

struct SettingRow {
  std::string setting, value, from, state;
};
struct FunctionReport {
  std::string name;
  Lookup lookup;
  std::vector<SettingRow> settings;
};
struct ProblemReport {
  std::string device_function;  // "" for a problem of the workstation
  std::string text;
};
struct LogReport {
  std::string file, path, state;
  bool ok = false;
};

// What each log means to the host when the plug-in cannot write it.
struct LogFile {
  const char* name;
  const char* effect;
};
constexpr LogFile kLogFiles[] = {
    {kErrorFileName,
     "after its message box every failure report ends in a failed call with Err 75 "
     "\"Path/File access error\" instead of the failure's own number"},
    {kLogFileName,
     "a failure of Capture or of DoDeviceFunction then ends in Err 75 \"Path/File access "
     "error\" before it is reported"},
    {kHostLogFileName, "WriteToLog then reports Err 75 whenever the host turns its log on"},
};

class Checker {
 public:
  explicit Checker(ToolContext& context) : context_(context), session_(context.platform) {}

  int Run(bool json);

 private:
  Lookup LookUp(const std::string& name) {
    try {
      return {session_.object().GetEquipNumber(EquipmentKey(name)), std::nullopt};
    } catch (const VbError& error) {
      return {std::nullopt, error};
    }
  }
  void Problem(const std::string& text, const std::string& device_function = "") {
    problems_.push_back({device_function, text});
  }
  void LookupProblem(const std::string& name, const VbError& error, const std::string& effect);
  std::string CaptureFolderState(const std::string& name, const std::string& role,
                                 const std::string& folder, bool configured);
  void CheckDropFolder(const std::string& name, const CaptureSettings& settings);
  void CheckModel(const std::string& capture_name, const std::string& review_name);
  void CheckValues();
  void CheckServerConnection();
  void CheckOutbox();
  void CheckLogs();
  void PrintText() const;
  void PrintJson() const;

  ToolContext& context_;
  PluginSession session_;
  FileState file_;
  EquipmentList list_;
  std::string pgms_dir_;
  std::string server_class_, server_method_, server_state_;
  std::string outbox_, outbox_state_;
  std::string log_folder_, log_folder_origin_;
  // The drop and store folders of the configured functions.
  std::vector<std::pair<std::string, std::string>> image_folders_;
  std::vector<FunctionReport> functions_;
  std::vector<LogReport> logs_;
  std::vector<ProblemReport> problems_;
};

void Checker::LookupProblem(const std::string& name, const VbError& error,
                            const std::string& effect) {
  // An unreadable "Number" fails every lookup; it is reported once.
  if (list_.count_error) return;
  Problem(name + ": the plug-in's lookup of its entry fails (" + ErrorText(error) + "): " + effect,
          name);
}

// Describes a folder Capture creates (one level) and writes to.
std::string Checker::CaptureFolderState(const std::string& name, const std::string& role,
                                        const std::string& folder, bool configured) {
  Platform& platform = session_.platform();
  if (folder.empty()) {
    if (configured) Problem(name + ": no " + role + ": Capture fails when it creates it", name);
    return "no folder";
  }
  if (configured) image_folders_.emplace_back(name + "'s " + role, folder);
  if (platform.FolderExists(folder)) {
    if (Writable(platform, folder)) return "exists, writable";
    if (configured) Problem(name + ": " + role + " " + folder + " is not writable", name);
    return "NOT WRITABLE";
  }
  const std::string parent = ParentFolder(folder);
  if (!parent.empty() && platform.FolderExists(parent)) return "missing; Capture creates it";
  if (configured) {
    Problem(name + ": " + role + " " + folder +
                " is missing and so is its parent: Capture fails (Err 76 Path not found)",
            name);
  }
  return "missing, no parent";
}

// Files a cancelled capture left behind, which the next capture imports under
// its own patient's exam, and names the store folder has no room for.
void Checker::CheckDropFolder(const std::string& name, const CaptureSettings& settings) {
  Platform& platform = session_.platform();
  std::vector<std::string> files;
  try {
    files = platform.FolderFileNames(settings.drop_folder);
  } catch (const VbError&) {
  }
  std::size_t longest = kStoredNameRoom;
  std::string oldest;
  long long oldest_time = 0;
  for (const std::string& file : files) {
    // The import inserts the exam number (up to ten digits) and an underscore.
    longest = std::max(longest, file.size() + 11);
    const long long time =
        ModifiedTime(NativePath(context_.platform, settings.drop_folder + "\\" + file));
    if (oldest.empty() || time < oldest_time) oldest = file, oldest_time = time;
  }
  if (!files.empty()) {
    char when[32] = "";
    const std::time_t seconds = static_cast<std::time_t>(oldest_time);
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
  ClsTavirex& object = session_.object();
  Platform& platform = session_.platform();
  FunctionReport capture{capture_name, LookUp(capture_name), {}};
  FunctionReport review{review_name, LookUp(review_name), {}};
  const bool configured = capture.lookup.listed() || review.lookup.listed();

  // Capture, through the workflow's own settings stage.
  object.props().DeviceName = capture_name;
  std::optional<CaptureSettings> settings;
  try {
    settings = SettleCaptureSettings(object);
  } catch (const VbError& error) {
    LookupProblem(capture_name, error, "every capture ends in an error report");
    capture.settings.push_back({"settings", "-", "", ErrorText(error)});
  }
  if (settings) {
    const bool program_found = platform.FileExists(settings->program_path);
    if (configured && !program_found) {
      Problem(capture_name + ": the vendor program " + settings->program_path +
                  " is missing: Capture shows \"File Not Found\" and starts nothing",
              capture_name);
    }
    capture.settings = {
        {"program", settings->program_path, OriginText(settings->program_origin),
         program_found ? "found" : "MISSING"},
        {"drop folder", settings->drop_folder, OriginText(settings->drop_origin),
         CaptureFolderState(capture_name, "drop folder", settings->drop_folder, configured)},
        {"store folder", settings->store_folder, OriginText(settings->store_origin),
         CaptureFolderState(capture_name, "store folder", settings->store_folder, configured)},
    };
    if (configured && !settings->drop_folder.empty() &&
        FolderIdentity(settings->drop_folder) == FolderIdentity(settings->store_folder)) {
      Problem(capture_name + ": drop folder and store folder are the same (" +
                  settings->drop_folder + "): the next capture imports the stored images again",
              capture_name);
    }
    if (configured) CheckDropFolder(capture_name, *settings);
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
    review.settings.push_back({"folder", "-", "", ErrorText(error)});
  }
  if (folder && folder->empty()) {
    // Review then falls back on its Capture twin's folder, Count on nothing.
    if (configured) {
      Problem(review_name + ": no folder (neither \"EquipDataPath\" nor PgmsDir): Count finds " +
                  "no images and Review lists a fallback folder",
              review_name);
    }
    review.settings.push_back({"folder", "(none)", "", "Count finds nothing"});
  } else if (folder) {
    const bool exists = platform.FolderExists(*folder);
    review.settings.push_back(
        {"folder", *folder, OriginText(origin), exists ? "exists" : "missing"});
    if (configured && settings &&
        FolderIdentity(settings->store_folder) != FolderIdentity(*folder)) {
      Problem(capture_name + ": stores into " + settings->store_folder + " but " + review_name +
                  " lists " + *folder + ": captured images will not show in Review",
              capture_name);
    }
  }
  functions_.push_back(std::move(capture));
  functions_.push_back(std::move(review));
}

// Values the plug-in reads that do not say what was meant, as pasted text
// with inline comments does, and paths Windows refuses.
void Checker::CheckValues() {
  Platform& platform = session_.platform();
  auto check = [&](const std::string& section, const std::string& key, const std::string& device,
                   const std::string& fix) {
    const std::string value = platform.ReadProfileString(section, key, kEquipIniFileName);
    const std::string why =
        device.empty() || value.empty() ? ValueProblem(value) : PathProblem(value);
    if (!why.empty()) {
      Problem((device.empty() ? "" : device + ": ") + "\"" + key + "\" of [" + section + "] is \"" +
                  value + "\", which " + why + fix,
              device);
    }
  };
  check(kEquipmentSection, kEquipmentCountKey, "", "");
  check(kEquipmentSection, kWriteReceiveDataLogKey, "",
        "; set it with tavirex-config receive-log on|off");
  for (const ListEntry& entry : list_.entries) {
    if (!entry.ours || !entry.issue.empty() || !entry.number) continue;
    for (const char* key : {kEquipProgPathFNameKey, kEquipDataPathKey}) {
      check(std::to_string(*entry.number), key, entry.device_name,
            "; set it with tavirex-config set \"" + entry.device_name + "\"");
    }
  }
  check(kServerConnectionSection, kServerConnectionClassKey, "",
        "; set it with tavirex-config server");
  check(kServerConnectionSection, kServerConnectionMethodKey, "",
        "; set it with tavirex-config server");
}

void Checker::CheckServerConnection() {
  Platform& platform = session_.platform();
  server_class_ = platform.ReadProfileString(kServerConnectionSection, kServerConnectionClassKey,
                                             kEquipIniFileName);
  server_method_ = platform.ReadProfileString(kServerConnectionSection, kServerConnectionMethodKey,
                                              kEquipIniFileName);
  const std::string where = std::string(" of [") + kServerConnectionSection + "]";
  if (!server_class_.empty() && !IsClassName(server_class_)) {
    Problem("\"" + std::string(kServerConnectionClassKey) + "\"" + where + " is \"" +
            server_class_ + "\", neither a ProgID nor a {CLSID}");
  } else if (!server_class_.empty()) {
    const ClassRegistration registration = FindClassRegistration(server_class_);
    if (registration.state == ClassRegistration::State::kNotRegistered) {
      server_state_ = "NOT REGISTERED";
      Problem("the server-connection class " + server_class_ +
              " is not registered on this workstation: on a database-server route (ConnectThru "
              "MSDE or SQL) the plug-in's start-up cannot create it (Err 429 ActiveX component "
              "can't create object)");
    } else if (registration.state == ClassRegistration::State::kRegistered) {
      server_state_ =
          "registered" + (registration.server.empty() ? "" : ": " + registration.server);
    }
  }
  if (!server_method_.empty() && !IsMethodName(server_method_)) {
    Problem("\"" + std::string(kServerConnectionMethodKey) + "\"" + where + " is \"" +
            server_method_ + "\", which is no method name");
  }
  if (!server_method_.empty() && server_class_.empty()) {
    Problem("\"" + std::string(kServerConnectionMethodKey) + "\"" + where + " is set but \"" +
            kServerConnectionClassKey + "\" is not: the plug-in creates nothing");
  }
}

// The folder each Capture writes a DICOM job into: there, writable, apart
// from the image folders, and private, as jobs carry patient data.
void Checker::CheckOutbox() {
  Platform& platform = session_.platform();
  outbox_ =
      platform.ReadProfileString(kServerConnectionSection, kDicomOutboxKey, kEquipIniFileName);
  if (outbox_.empty()) return;
  const std::string name = "the DICOM outbox " + outbox_;
  if (std::string why = PathProblem(outbox_); !why.empty()) {
    outbox_state_ = "NOT A FOLDER";
    return Problem(name + " " + why + "; set it with tavirex-config outbox");
  }
  if (!platform.FolderExists(outbox_)) {
    outbox_state_ = "MISSING";
    return Problem(name + " is missing: every Capture fails to write its job; create it");
  }
  outbox_state_ = Writable(platform, outbox_) ? "exists, writable" : "NOT WRITABLE";
  if (outbox_state_ == "NOT WRITABLE") {
    Problem(name + " is not writable by this user: every Capture fails to write its job");
  }
  for (const auto& [role, folder] : image_folders_) {
    if (IsWithin(outbox_, folder)) {
      Problem(name + " is, or lies in, " + role + " " + folder +
              ": Count and the import would meet the jobs; choose a folder of its own");
    }
  }
  if (EveryoneCanRead(NativePath(context_.platform, outbox_))) {
    Problem(name + " can be read by every user, and its jobs carry patient data: let only the " +
            "users who capture and the forwarder read it");
  }
}

// Each log the way the plug-in opens it: for appending, created when
// missing. A missing one is created and removed again, an existing one is
// opened and closed without a byte written.
void Checker::CheckLogs() {
  Platform& platform = session_.platform();
  log_folder_ = context_.log_folder;
  log_folder_origin_ = context_.log_folder_origin;
  if (log_folder_.empty()) {
    log_folder_ = platform.ModuleFolder();
    log_folder_origin_ = "the plug-in's module folder here";
  }
  if (context_.plugin_not_registered) {
    Problem(std::string(kClassProgId) +
            " is not registered on this workstation: the host cannot create the plug-in (Err 429 "
            "ActiveX component can't create object); install the package or run regsvr32");
  }
  for (const LogFile& log : kLogFiles) {
    LogReport report{log.name, log_folder_ + "\\" + log.name, "", false};
    const bool existed = platform.FileExists(report.path);
    try {
      platform.AppendToFile(report.path, "");
      report.ok = true;
      report.state = existed ? "can be appended to" : "missing; can be created";
      if (!existed) platform.DeleteFile(report.path);
    } catch (const VbError& error) {
      if (report.ok) {
        report.state = "created (and left: it could not be removed again)";
      } else {
        report.state = std::string(existed ? "CANNOT BE APPENDED TO" : "CANNOT BE CREATED") + " (" +
                       ErrorText(error) + ")";
        Problem(std::string(log.name) + " in " + log_folder_ +
                (existed ? " cannot be appended to" : " cannot be created") + " by this user (" +
                ErrorText(error) + "): " + log.effect +
                ". An administrator lets the users write it (on Windows the icacls commands of "
                "the README, Installing at a practice: Logs)");
      }
    }
    logs_.push_back(std::move(report));
  }
}

void Checker::PrintText() const {
  std::ostream& out = context_.out;
  auto or_none = [](const std::string& value, const char* none) {
    return value.empty() ? std::string(none) : value;
  };
  const std::string file_note = file_.kind == FileState::Kind::kMissing      ? "  (missing)"
                                : file_.kind == FileState::Kind::kUnreadable ? "  (cannot be read)"
                                : file_.kind == FileState::Kind::kNotAFile   ? "  (not a file)"
                                                                             : "";
  out << "Equipment INI   " << context_.equip_ini_path << file_note << "\n"
      << "Host programs   " << or_none(pgms_dir_, "(none)") << "  (\"PgmsDir\" of praxo32.ini)\n"
      << "Entries read    " << list_.count
      << "  (\"Number\" = " << or_none(list_.number_text, "(none)") << ")\n"
      << "Server class    " << or_none(server_class_, "(not set: nothing is created)")
      << (server_state_.empty() ? "" : "  " + server_state_) << "  (\"" << kServerConnectionClassKey
      << "\" of [" << kServerConnectionSection << "], used when ConnectThru is MSDE or SQL)\n"
      << "Server method   " << or_none(server_method_, "(not set: SetServerName)") << "\n"
      << "DICOM outbox    " << or_none(outbox_, "(not set: no jobs are written)")
      << (outbox_state_.empty() ? "" : "  " + outbox_state_) << "\n\n";

  TextTable table({"Device function", "No.", "Setting", "Value", "From", "State"});
  for (const FunctionReport& function : functions_) {
    for (std::size_t i = 0; i < function.settings.size(); ++i) {
      const SettingRow& row = function.settings[i];
      table.AddRow({i == 0 ? function.name : "", i == 0 ? function.lookup.Text() : "", row.setting,
                    row.value, row.from, row.state});
    }
    if (function.name.starts_with(kReviewVerb)) table.AddGap();
  }
  table.Print(out);

  out << "Log files in " << log_folder_ << "  (" << log_folder_origin_ << ")\n";
  for (const LogReport& log : logs_) {
    out << "  " << log.file << std::string(20 - log.file.size(), ' ') << log.state << "\n";
  }
  out << "\n";
  if (problems_.empty()) {
    out << "No problems found.\n";
    return;
  }
  out << "Problems (" << problems_.size() << "):\n";
  for (std::size_t i = 0; i < problems_.size(); ++i) {
    out << "  " << i + 1 << ". " << problems_[i].text << "\n";
  }
}

void Checker::PrintJson() const {
  using Json = nlohmann::ordered_json;
  auto or_null = [](const std::string& value) { return value.empty() ? Json() : Json(value); };
  Json json = {{"version", TAVIREX_VERSION},
               {"equipment_ini", context_.equip_ini_path},
               {"equipment_ini_exists", file_.kind != FileState::Kind::kMissing},
               {"host_programs_folder", or_null(pgms_dir_)},
               {"number", or_null(list_.number_text)},
               {"entries_read", list_.count},
               {"server_connection_class", or_null(server_class_)},
               {"server_connection_method", or_null(server_method_)},
               {"dicom_outbox", or_null(outbox_)},
               {"log_folder", log_folder_},
               {"log_folder_origin", log_folder_origin_},
               {"logs", Json::array()},
               {"device_functions", Json::array()},
               {"problems", Json::array()}};
  for (const LogReport& log : logs_) {
    json["logs"].push_back(
        {{"file", log.file}, {"path", log.path}, {"state", log.state}, {"ok", log.ok}});
  }
  for (const FunctionReport& function : functions_) {
    Json settings = Json::array();
    for (const SettingRow& row : function.settings) {
      settings.push_back({{"setting", row.setting},
                          {"value", row.value},
                          {"from", row.from},
                          {"state", row.state}});
    }
    json["device_functions"].push_back(
        {{"name", function.name},
         {"equipment_number", function.lookup.number ? Json(*function.lookup.number) : Json()},
         {"lookup_error", function.lookup.error ? Json(ErrorText(*function.lookup.error)) : Json()},
         {"settings", settings}});
  }
  for (const ProblemReport& problem : problems_) {
    json["problems"].push_back(
        {{"device_function", or_null(problem.device_function)}, {"text", problem.text}});
  }
  context_.out << json.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

int Checker::Run(bool json) {
  Platform& platform = session_.platform();
  file_ = ReadFileState(context_.equip_ini_path);
  list_ = ReadEquipmentList(IniDocument(file_.bytes), platform);
  pgms_dir_ = GetPgmsDir(platform);

  if (std::string why = FileProblem(file_, context_.equip_ini_path); !why.empty()) Problem(why);
  if (list_.count_error) {
    Problem("[Equipment] \"Number\" is " + list_.number_text + ", beyond 32767: every lookup " +
            "fails (" + ErrorText(*list_.count_error) + ") and no device function works");
  }
  bool any_listed = false;
  for (const ListEntry& entry : list_.entries) {
    any_listed |= entry.ours && entry.issue.empty();
    if (!entry.issue.empty()) {
      Problem("[Equipment] entry " + std::to_string(entry.index) + "=" + entry.value + ": " +
                  entry.issue + "; take it out with tavirex-config remove " +
                  std::to_string(entry.index) + ", or correct it",
              IsCatalogueName(entry.device_name) ? entry.device_name : "");
    }
  }
  if (problems_.empty() && !any_listed) {
    Problem("PXEquip.ini lists no device function of this plug-in");
  }
  CheckValues();
  const std::vector<std::string> names = ClsTavirex::DeviceNames();
  for (std::size_t i = 0; i + 1 < names.size(); i += 2) CheckModel(names[i], names[i + 1]);
  CheckServerConnection();
  CheckOutbox();
  CheckLogs();

  // The host INI's boxes, shown at start-up with every object or every count:
  // one problem for a file that is not there.
  const std::string host_ini = platform.ProfileFilePath(kHostIniFileName);
  const FileState host_file = ReadFileState(host_ini);
  std::set<std::string> seen;
  for (const ToolPlatform::Box& box : session_.platform().boxes()) {
    if (!seen.insert(box.text).second) continue;
    if (host_file.kind != FileState::Kind::kFile) {
      Problem(FileProblem(host_file, host_ini,
                          "the plug-in shows \"" + box.text + "\" whenever the host creates it"));
      break;
    }
    Problem("the plug-in shows the message \"" + box.text + "\" (title \"" + box.title +
            "\"): check [System] \"DataDir\" and \"PgmsDir\" in " + host_ini);
  }
  json ? PrintJson() : PrintText();
  return problems_.empty() ? kExitOk : kExitProblems;
}

}  // namespace

int RunCheck(ToolContext& context, bool json) {
  Checker checker(context);
  return checker.Run(json);
}

}  // namespace tavirex::config
