// check: what each device function would use at run time, what would go
// wrong there, and whether the plug-in can write its logs.
#include <algorithm>
#include <set>

#include "hostenv/error_report.h"
#include "hostenv/host_paths.h"
#include "hostenv/system.h"
#include "plugin/capture.h"
#include "plugin/catalogue.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "tools/config/json_writer.h"
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

struct SettingRow {
  std::string setting;
  std::string value;
  std::string from;
  std::string state;
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
  std::string file;
  std::string path;
  std::string state;
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
      return {GetEquipNumber(session_.object().platform(), EquipmentKey(name)), std::nullopt};
    } catch (const VbError& error) {
      return {std::nullopt, error};
    }
  }
  void Problem(const std::string& text, const std::string& device_function = "") {
    problems_.push_back({device_function, text});
  }
  void LookupProblem(const std::string& name, const VbError& error, const std::string& effect);
  // Describes a folder Capture creates (one level) and writes to.
  std::string CaptureFolderState(const std::string& name, const std::string& role,
                                 const std::string& folder, bool configured);
  void CheckModel(const std::string& capture_name, const std::string& review_name);
  void CheckValues();
  void CheckServerConnection();
  void CheckLogs();
  void PrintText() const;
  void PrintJson() const;

  ToolContext& context_;
  PluginSession session_;
  std::optional<std::string> bytes_;
  EquipmentList list_;
  std::string pgms_dir_;
  std::string server_class_;
  std::string server_method_;
  std::string server_state_;
  std::string log_folder_;
  std::string log_folder_origin_;
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

std::string Checker::CaptureFolderState(const std::string& name, const std::string& role,
                                        const std::string& folder, bool configured) {
  Platform& platform = session_.platform();
  if (folder.empty()) {
    if (configured) Problem(name + ": no " + role + ": Capture fails when it creates it", name);
    return "no folder";
  }
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

void Checker::CheckModel(const std::string& capture_name, const std::string& review_name) {
  ClsTavirex& object = session_.object();
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
    const bool program_found = session_.platform().FileExists(settings->program_path);
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
  }

  // Review and Count: the folder Count takes after the host's LoadEquipProps.
  object.props().DeviceName = review_name;
  object.LoadEquipProps(review_name);
  std::optional<std::string> folder;
  SettingOrigin origin = SettingOrigin::kHostProgramsFolder;
  try {
    if (ReadDeviceSetting(object.platform(), review_name, kEquipDataPathKey)) {
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
    const bool exists = session_.platform().FolderExists(*folder);
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
// with inline comments does.
void Checker::CheckValues() {
  Platform& platform = session_.platform();
  auto check = [&](const std::string& section, const std::string& key, const std::string& device) {
    const std::string value = platform.ReadProfileString(section, key, kEquipIniFileName);
    if (std::string why = ValueProblem(value); !why.empty()) {
      Problem((device.empty() ? "" : device + ": ") + "\"" + key + "\" of [" + section + "] is \"" +
                  value + "\", which " + why,
              device);
    }
  };
  check(kEquipmentSection, kEquipmentCountKey, "");
  check(kEquipmentSection, "WriteReceiveDataLog", "");
  for (const ListEntry& entry : list_.entries) {
    if (!entry.ours || !entry.issue.empty() || !entry.number) continue;
    for (const char* key : {kEquipProgPathFNameKey, kEquipDataPathKey}) {
      check(std::to_string(*entry.number), key, entry.device_name);
    }
  }
  check(kServerConnectionSection, kServerConnectionClassKey, "");
  check(kServerConnectionSection, kServerConnectionMethodKey, "");
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
            kServerConnectionClassKey + "\" is not: the plug-in's own class is used");
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
    } catch (const VbError& error) {
      report.state = std::string(existed ? "CANNOT BE APPENDED TO" : "CANNOT BE CREATED") + " (" +
                     ErrorText(error) + ")";
      Problem(std::string(log.name) + " in " + log_folder_ +
              (existed ? " cannot be appended to" : " cannot be created") + " by this user (" +
              ErrorText(error) + "): " + log.effect +
              ". An administrator lets the users write it (on Windows the icacls commands of the "
              "README, Installing at a practice: Logs)");
    }
    if (report.ok && !existed) {
      try {
        platform.DeleteFile(report.path);
      } catch (const VbError&) {
        report.state = "created (and left: it could not be removed again)";
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
  out << "Equipment INI   " << context_.equip_ini_path << (bytes_ ? "" : "  (missing)") << "\n"
      << "Host programs   " << or_none(pgms_dir_, "(none)") << "  (\"PgmsDir\" of praxo32.ini)\n"
      << "Entries read    " << list_.count
      << "  (\"Number\" = " << or_none(list_.number_text, "(none)") << ")\n"
      << "Server class    " << or_none(server_class_, "(not set: the plug-in's own)")
      << (server_state_.empty() ? "" : "  " + server_state_) << "  (\"" << kServerConnectionClassKey
      << "\" of [" << kServerConnectionSection << "], used when ConnectThru is MSDE or SQL)\n"
      << "Server method   " << or_none(server_method_, "(not set: the plug-in's own)") << "\n\n";

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
  JsonWriter json(context_.out);
  auto or_null = [](const std::string& value) {
    return value.empty() ? std::nullopt : std::optional<std::string>(value);
  };
  json.BeginObject();
  json.Field("version", TAVIREX_VERSION);
  json.Field("equipment_ini", context_.equip_ini_path);
  json.Key("equipment_ini_exists");
  json.Bool(bytes_.has_value());
  json.FieldOrNull("host_programs_folder", or_null(pgms_dir_));
  json.FieldOrNull("number", or_null(list_.number_text));
  json.NumberOrNull("entries_read", list_.count);
  json.FieldOrNull("server_connection_class", or_null(server_class_));
  json.FieldOrNull("server_connection_method", or_null(server_method_));
  json.Field("log_folder", log_folder_);
  json.Field("log_folder_origin", log_folder_origin_);
  json.Key("logs");
  json.BeginArray();
  for (const LogReport& log : logs_) {
    json.BeginObject();
    json.Field("file", log.file);
    json.Field("path", log.path);
    json.Field("state", log.state);
    json.Key("ok");
    json.Bool(log.ok);
    json.EndObject();
  }
  json.EndArray();
  json.Key("device_functions");
  json.BeginArray();
  for (const FunctionReport& function : functions_) {
    json.BeginObject();
    json.Field("name", function.name);
    json.NumberOrNull("equipment_number", function.lookup.number);
    json.FieldOrNull("lookup_error", function.lookup.error ? std::optional<std::string>(
                                                                 ErrorText(*function.lookup.error))
                                                           : std::nullopt);
    json.Key("settings");
    json.BeginArray();
    for (const SettingRow& row : function.settings) {
      json.BeginObject();
      json.Field("setting", row.setting);
      json.Field("value", row.value);
      json.Field("from", row.from);
      json.Field("state", row.state);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.Key("problems");
  json.BeginArray();
  for (const ProblemReport& problem : problems_) {
    json.BeginObject();
    json.FieldOrNull("device_function", or_null(problem.device_function));
    json.Field("text", problem.text);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

int Checker::Run(bool json) {
  bytes_ = ReadFileBytes(context_.equip_ini_path);
  const IniDocument document(bytes_.value_or(""));
  list_ = ReadEquipmentList(document, session_.platform());
  pgms_dir_ = GetPgmsDir(session_.platform());

  if (!bytes_) Problem("PXEquip.ini is missing: no device function is configured");
  if (bytes_ && !EncodingProblem(*bytes_).empty()) {
    Problem("PXEquip.ini " + EncodingProblem(*bytes_));
  }
  if (list_.count_error) {
    Problem("[Equipment] \"Number\" is " + list_.number_text + ", beyond 32767: every lookup " +
            "fails (" + ErrorText(*list_.count_error) + ") and no device function works");
  }
  for (const ListEntry& entry : list_.entries) {
    if (!entry.issue.empty()) {
      Problem("[Equipment] entry " + std::to_string(entry.index) + "=" + entry.value + ": " +
                  entry.issue,
              IsCatalogueName(entry.device_name) ? entry.device_name : "");
    }
  }
  bool any_listed = false;
  for (const ListEntry& entry : list_.entries) any_listed |= entry.ours && entry.issue.empty();
  if (bytes_ && !any_listed && !list_.count_error) {
    Problem("PXEquip.ini lists no device function of this plug-in");
  }
  CheckValues();

  const std::vector<std::string> names = ClsTavirex::DeviceNames();
  for (std::size_t i = 0; i + 1 < names.size(); i += 2) CheckModel(names[i], names[i + 1]);
  CheckServerConnection();
  CheckLogs();

  // The host INI's boxes, shown at start-up, with every object or every count.
  std::set<std::string> seen;
  for (const ToolPlatform::Box& box : session_.platform().boxes()) {
    std::string text = "the plug-in shows the message \"" + box.text + "\" (title \"" + box.title +
                       "\"): check [System] \"DataDir\" and \"PgmsDir\" in praxo32.ini";
    if (seen.insert(text).second) Problem(text);
  }

  if (json) {
    PrintJson();
  } else {
    PrintText();
  }
  return problems_.empty() ? kExitOk : kExitProblems;
}

}  // namespace

int RunCheck(ToolContext& context, bool json) {
  Checker checker(context);
  return checker.Run(json);
}

}  // namespace tavirex::config
