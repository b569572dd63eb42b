// The edits of the equipment INI. Each reads the whole file first and refuses
// one it cannot read whole as ANSI text, a read-only one and a value the
// file's code page cannot hold, before anything is written. It then writes
// the new file beside the old one, keeps the old bytes as a new time-stamped
// backup and renames the new file over the old one: a failure at any step
// leaves the file and every backup as they were.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "capture/capture_device.h"
#include "hostenv/system.h"
#include "interface/equip_settings.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"

namespace tavirex::config {
namespace {

namespace fs = std::filesystem;

constexpr int kLargestNumber = 32767;
constexpr std::size_t kBackupsKept = 10;

// The lines of `before` and `after` that differ, "-" and "+" with their line
// numbers, from the longest common run of lines.
void PrintDiff(const std::vector<IniDocument::Line>& before,
               const std::vector<IniDocument::Line>& after, std::ostream& out) {
  const std::size_t n = before.size();
  const std::size_t m = after.size();
  std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      common[i][j] = before[i].text == after[j].text ? common[i + 1][j + 1] + 1
                                                     : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  for (std::size_t i = 0, j = 0; i < n || j < m;) {
    if (i < n && j < m && before[i].text == after[j].text) {
      ++i, ++j;
    } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
      out << "-" << Column(std::to_string(i + 1)) << before[i].text << "\n";
      ++i;
    } else {
      out << "+" << Column(std::to_string(j + 1)) << after[j].text << "\n";
      ++j;
    }
  }
}

// "PXEquip.ini.20261206-104512-123.bak": local time to the millisecond, so
// that names sort as the backups were made.
std::string BackupName(const std::string& path, long long milliseconds) {
  const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&seconds));
  const std::string fraction = std::to_string(1000 + milliseconds % 1000).substr(1);
  return path + "." + stamp + "-" + fraction + ".bak";
}

// The smallest number that no list entry and no section uses yet.
int FreeEquipmentNumber(const IniDocument& document, const EquipmentList& list) {
  std::set<int> used;
  for (const ListEntry& entry : list.entries) {
    if (entry.number) used.insert(*entry.number);
  }
  for (const IniDocument::Section& section : document.Sections()) {
    if (std::optional<int> number = EntryIndex(section.name)) used.insert(*number);
  }
  for (int number = 1; number <= kLargestNumber; ++number) {
    if (used.count(number) == 0) return number;
  }
  return 0;
}

// Sets `key` of `section` (the first such key line; the section is appended
// when missing) or removes every line of that key.
void SetKey(IniDocument& document, const std::string& section, std::string_view key,
            const std::optional<std::string>& value) {
  std::optional<IniDocument::Section> found = document.FindSection(section);
  std::optional<std::size_t> line = found ? document.FindKey(*found, key) : std::nullopt;
  if (!value) {
    for (; line; found = document.FindSection(section), line = document.FindKey(*found, key)) {
      document.Remove(*line, *line + 1);
    }
  } else if (line) {
    document.ReplaceValue(*line, *value);
  } else if (found) {
    document.Insert(document.EndOfKeys(*found), {std::string(key) + "=" + *value});
  } else {
    document.AppendBlock({IniDocument::SectionHeader(section), std::string(key) + "=" + *value});
  }
}

// The "Number" line with its value replaced; a trailing text after the
// number (a note someone wrote there) stays.
std::string WithNumber(const std::string& line, int number) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return line + "=" + std::to_string(number);
  const std::size_t start = line.find_first_not_of(" \t", equals + 1);
  if (start == std::string::npos) return line.substr(0, equals + 1) + std::to_string(number);
  std::size_t end = line.find_first_not_of("0123456789.", start);
  if (end == start || end == std::string::npos) end = line.size();
  return line.substr(0, start) + std::to_string(number) + line.substr(end);
}

// A warning when the parent of `folder` is missing: Capture creates one
// level only. "" otherwise.
std::string MissingParentWarning(Platform& platform, const std::string& folder) {
  const std::string parent = ParentFolder(folder);
  if (parent.empty() || platform.FolderExists(folder) || platform.FolderExists(parent)) return "";
  return "Warning: " + folder + " is missing and so is its parent " + parent +
         ": Capture creates one folder level only (it fails with Err 76 Path not found); "
         "create " +
         parent + " first.\n";
}

// An edit of the equipment INI, from the file as it is.
class Edit {
 public:
  Edit(ToolContext& context, std::string command)
      : context(context),
        command_(std::move(command)),
        file(ReadFileState(context.equip_ini_path)),
        document(file.bytes),
        session(context.platform),
        list(ReadEquipmentList(document, session.platform())) {
    const std::string& path = context.equip_ini_path;
    if (file.kind != FileState::Kind::kMissing) refusal = FileProblem(file, path);
    if (!refusal.empty() || file.kind == FileState::Kind::kMissing) return;
    if (file.read_only) {
      refusal = path +
                " is read-only, so someone protected it: if the change is meant, clear its "
                "read-only attribute first (attrib -r, or chmod u+w)";
    } else if (!file.writable) {
      refusal = path + " cannot be written by this user; run tavirex-config as an administrator";
    }
  }

  int Refuse(const std::string& why) const {
    context.err << "tavirex-config " << command_ << ": " << why << "\nNothing was changed.\n";
    return kExitRefused;
  }

  // Shows the change, and writes it unless this is a dry run.
  int Write() {
    for (const IniDocument::Line& line : document.lines()) {
      const std::string held = Utf8FromProfileBytes(ProfileBytesFromUtf8(line.text));
      if (held != line.text) {
        return Refuse("\"" + line.text + "\" holds characters that the file's code page " +
                      "cannot hold: the plug-in would read \"" + held +
                      "\"; use a name written in the workstation's ANSI characters");
      }
    }
    const std::string bytes = document.Bytes();
    if (file.kind == FileState::Kind::kFile && bytes == file.bytes) {
      context.out << "Nothing to change.\n";
      return kExitOk;
    }
    PrintDiff(IniDocument(file.bytes).lines(), document.lines(), context.out);
    if (context.dry_run) {
      context.out << "Nothing was written (--dry-run).\n";
      return kExitOk;
    }
    if (const std::string why = Replace(bytes, true); !why.empty()) {
      context.err << "tavirex-config " << command_ << ": " << why
                  << SystemPlatformNotes().windows_dir_write_hint << "\nNothing was changed.\n";
      return kExitWriteFailed;
    }
    if (!backup_.empty()) context.out << Column("Backup") << backup_ << "\n";
    context.out << Column("Written") << context.equip_ini_path << "\n";
    return kExitOk;
  }

  // After a read-back that failed: the old file back, the new backup gone.
  int Undo(const std::string& what) {
    const std::string& path = context.equip_ini_path;
    const std::string why = file.kind == FileState::Kind::kFile ? Replace(file.bytes, false)
                            : std::remove(path.c_str()) == 0    ? ""
                                                                : "cannot remove " + path;
    if (why.empty() && !backup_.empty()) std::remove(backup_.c_str());
    context.err << "tavirex-config " << command_ << ": the plug-in does not read " << what
                << " back as written; "
                << (why.empty() ? "the file is as it was.\n"
                                : why + "; the old file is " + backup_ + "\n");
    return kExitWriteFailed;
  }

  ToolContext& context;

 private:
  std::string command_;
  std::string backup_;

  // The new bytes beside the file, on the disk; the old ones as a new
  // backup; then one rename. "" when done, else why nothing was changed.
  std::string Replace(const std::string& bytes, bool keep_backup) {
    const std::string& path = context.equip_ini_path;
    const std::string temporary = path + ".new";
    std::remove(temporary.c_str());  // left by an edit that was cut short
    if (std::string why = WriteNewFile(temporary, bytes); !why.empty()) return why;
    std::string backup;
    if (keep_backup && file.kind == FileState::Kind::kFile) {
      long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
      std::string why;
      for (int attempt = 0; attempt < 100; ++attempt) {
        backup = BackupName(path, now + attempt);
        if ((why = WriteNewFile(backup, file.bytes)).empty()) break;
        backup.clear();
      }
      if (backup.empty()) {
        std::remove(temporary.c_str());
        return why;
      }
    }
    if (std::string why = ReplaceKeeping(temporary, path); !why.empty()) {
      std::remove(temporary.c_str());
      if (!backup.empty()) std::remove(backup.c_str());
      return why;
    }
    if (!keep_backup) return "";
    backup_ = backup;
    const std::vector<std::string> backups = Backups(path);
    for (std::size_t i = 0; i + kBackupsKept < backups.size(); ++i) {
      std::remove(backups[i].c_str());
    }
    return "";
  }

 public:
  FileState file;
  IniDocument document;
  PluginSession session;
  EquipmentList list;
  // Why the file cannot be edited; "" when it can.
  std::string refusal;
};

}  // namespace

std::vector<std::string> Backups(const std::string& equip_ini_path) {
  const fs::path path(equip_ini_path);
  const std::string prefix = path.filename().string() + ".";
  std::vector<std::string> backups;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(path.parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix) && name.ends_with(".bak") && name.size() > prefix.size() + 4 &&
        std::isdigit(static_cast<unsigned char>(name[prefix.size()]))) {
      backups.push_back(entry.path().string());
    }
  }
  std::sort(backups.begin(), backups.end());
  return backups;
}

int RunUpsert(const DeviceRequest& request, Upsert mode, ToolContext& context) {
  Edit edit(context, mode == Upsert::kNew ? "add" : "set");
  const std::string& name = request.device_name;
  if (!IsCatalogueName(name)) return edit.Refuse(NotADeviceName(name));
  const bool capture = name.starts_with(kCaptureVerb);
  if (!capture && request.program_path) {
    return edit.Refuse("--program is for Capture functions; a Review function starts no program");
  }
  if (!request.data_folder && !request.program_path && !request.label) {
    return edit.Refuse("nothing to set: give --data, --program or --label");
  }
  for (const auto& [option, path] : {std::pair{"--data folder", &request.data_folder},
                                     std::pair{"--program path", &request.program_path}}) {
    if (std::string why = *path ? PathProblem(**path) : ""; !why.empty()) {
      return edit.Refuse(std::string("the ") + option + " \"" + **path + "\" " + why);
    }
  }
  if (std::string why = request.label ? LabelProblem(*request.label) : ""; !why.empty()) {
    return edit.Refuse(why);
  }
  if (!edit.refusal.empty()) return edit.Refuse(edit.refusal);
  EquipmentList& list = edit.list;
  if (list.count_error) {
    return edit.Refuse("[Equipment] \"Number\" is " + list.number_text +
                       ", beyond 32767; correct it first (see tavirex-config check)");
  }
  int number = edit.session.Number(name);
  if (number < 0) {
    return edit.Refuse("the plug-in's lookup of \"" + name +
                       "\" fails; correct its entry first (see tavirex-config check)");
  }
  const ListEntry* entry = nullptr;
  for (const ListEntry& candidate : list.entries) {
    if (candidate.ours && candidate.device_name == name && candidate.number == number) {
      entry = &candidate;
    }
  }
  if (mode == Upsert::kNew && number != 0) {
    return edit.Refuse("\"" + name + "\" is already configured, in section [" +
                       std::to_string(number) + "]; change it with tavirex-config set");
  }
  if (mode == Upsert::kExisting && entry == nullptr) {
    return edit.Refuse("\"" + name + "\" is not configured; configure it with tavirex-config add");
  }

  IniDocument& document = edit.document;
  std::optional<std::string> program = request.program_path;
  if (entry == nullptr) {
    // A new entry after the last one "Number" counts, and the count raised.
    const int key = std::max(list.count, 0) + 1;
    for (const ListEntry& other : list.entries) {
      if (other.index == key) {
        return edit.Refuse("[Equipment] already has an entry " + std::to_string(key) +
                           " after the last one \"Number\" counts; take it out first with "
                           "tavirex-config remove " +
                           std::to_string(key));
      }
    }
    number = FreeEquipmentNumber(document, list);
    if (key > kLargestNumber || number == 0) return edit.Refuse("the list is full");
    const std::string entry_text = std::to_string(key) + "=" + std::to_string(number) + ":" +
                                   request.label.value_or(name) + ":" + EquipmentKey(name);
    if (std::optional<IniDocument::Section> section = document.FindSection(kEquipmentSection)) {
      std::optional<std::size_t> count_line = document.FindKey(*section, kEquipmentCountKey);
      document.Insert(document.EndOfKeys(*section), {entry_text});
      if (count_line) {
        document.ReplaceText(*count_line, WithNumber(document.lines()[*count_line].text, key));
      } else {
        document.Insert(section->header + 1,
                        {std::string(kEquipmentCountKey) + "=" + std::to_string(key)});
      }
    } else {
      document.AppendBlock({IniDocument::SectionHeader(kEquipmentSection),
                            std::string(kEquipmentCountKey) + "=" + std::to_string(key),
                            entry_text});
    }
    if (capture && !program) program = kDefaultVendorProgram;
  } else if (request.label) {
    std::vector<std::string> fields = entry->fields;
    fields[1] = *request.label;
    std::string value;
    for (const std::string& field : fields) value += (value.empty() ? "" : ":") + field;
    document.ReplaceValue(entry->line, value);
  }
  const std::string section = std::to_string(number);
  if (program) SetKey(document, section, kEquipProgPathFNameKey, program);
  if (request.data_folder) SetKey(document, section, kEquipDataPathKey, request.data_folder);

  if (int written = edit.Write(); written != kExitOk || context.dry_run) return written;
  // Read back as the plug-in reads it.
  const std::optional<std::string>& given_program = program;
  for (const auto& [key, value] : {std::pair{kEquipProgPathFNameKey, &given_program},
                                   std::pair{kEquipDataPathKey, &request.data_folder}}) {
    std::optional<std::string> read;
    try {
      read = edit.session.object().ReadDeviceSetting(name, key);
    } catch (const VbError&) {
    }
    if (*value && read != **value) return edit.Undo("\"" + name + "\"");
  }
  if (request.data_folder) {
    context.out << MissingParentWarning(context.platform, *request.data_folder);
  }
  const std::string twin = capture ? TwinDeviceName(name, kCaptureVerb, kReviewVerb) : "";
  if (capture && mode == Upsert::kNew && edit.session.Number(twin) == 0) {
    context.out << "Capture stores into the folder of \"" << twin
                << "\"; configure it too:\n  tavirex-config add \"" << twin
                << "\" --data <store folder>\n";
  }
  return kExitOk;
}

int RunRemove(const std::string& text, ToolContext& context) {
  Edit edit(context, "remove");
  if (!edit.refusal.empty()) return edit.Refuse(edit.refusal);
  const EquipmentList& list = edit.list;
  std::vector<const ListEntry*> found;
  for (const ListEntry& entry : list.entries) {
    const std::string key = std::to_string(entry.index);
    if (text == key || text == entry.value || text == key + "=" + entry.value ||
        (entry.ours && entry.device_name == text)) {
      found.push_back(&entry);
    }
  }
  // A name listed twice means the entry the plug-in uses.
  if (found.size() > 1 && std::count_if(found.begin(), found.end(), [](const ListEntry* entry) {
                            return entry->issue.empty();
                          }) == 1) {
    found = {*std::find_if(found.begin(), found.end(),
                           [](const ListEntry* entry) { return entry->issue.empty(); })};
  }
  if (found.empty()) {
    return edit.Refuse(IsCatalogueName(text) ? "\"" + text + "\" is not configured"
                                             : "[Equipment] has no entry \"" + text +
                                                   "\"; give its device name, its key or its "
                                                   "text as tavirex-config list shows it");
  }
  if (found.size() > 1) {
    std::string keys;
    for (const ListEntry* entry : found) keys += " " + std::to_string(entry->index);
    return edit.Refuse(std::to_string(found.size()) + " entries match \"" + text +
                       "\"; give the key of one:" + keys);
  }
  const ListEntry& entry = *found.front();
  IniDocument& document = edit.document;
  const IniDocument::Section list_section = *document.FindSection(kEquipmentSection);
  const std::vector<IniDocument::Key> keys = document.Keys(list_section);
  const std::string index_text = std::to_string(entry.index);
  if (std::count_if(keys.begin(), keys.end(),
                    [&](const IniDocument::Key& key) { return key.name == index_text; }) > 1) {
    return edit.Refuse("[Equipment] has two lines for entry " + index_text + "; tidy it by hand");
  }
  std::map<std::string, int> before;
  for (const std::string& name : ClsTavirex::DeviceNames())
    before[name] = edit.session.Number(name);

  // An entry that "Number" counts: those after it move up one key, so that
  // "Number" still counts them all; lines change from the last one up, as
  // the removal shifts the lines after it.
  if (entry.index <= list.count && !list.count_error) {
    if (std::optional<std::size_t> count_line =
            document.FindKey(list_section, kEquipmentCountKey)) {
      document.ReplaceText(*count_line,
                           WithNumber(document.lines()[*count_line].text, list.count - 1));
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
      std::optional<int> index = EntryIndex(key->name);
      if (!index || *index <= entry.index) continue;
      std::string line = document.lines()[key->line].text;
      line.replace(line.find(key->name), key->name.size(), std::to_string(*index - 1));
      document.ReplaceText(key->line, line);
    }
  }
  // Its settings go too, unless another entry names the same section.
  std::optional<IniDocument::Section> settings;
  if (entry.ours && entry.number &&
      std::none_of(list.entries.begin(), list.entries.end(), [&](const ListEntry& other) {
        return other.index != entry.index && other.number == entry.number;
      })) {
    settings = document.FindSection(std::to_string(*entry.number));
  }
  if (settings && settings->header > entry.line) document.RemoveSection(*settings);
  document.Remove(entry.line, entry.line + 1);
  if (settings && settings->header < entry.line) document.RemoveSection(*settings);

  if (int written = edit.Write(); written != kExitOk || context.dry_run) return written;
  // Read back: every other function is where it was.
  for (const auto& [name, number] : before) {
    if (name != entry.device_name && edit.session.Number(name) != number) {
      return edit.Undo("the list");
    }
  }
  return kExitOk;
}

int RunSetKeys(const std::string& command, const std::string& section, const KeyValues& keys,
               ToolContext& context) {
  Edit edit(context, command);
  if (!edit.refusal.empty()) return edit.Refuse(edit.refusal);
  for (const auto& [key, value] : keys) SetKey(edit.document, section, key, value);
  if (std::optional<IniDocument::Section> found = edit.document.FindSection(section);
      found && edit.document.Keys(*found).empty()) {
    edit.document.RemoveSection(*found);
  }
  return edit.Write();
}

int RunRestore(const std::string& name, ToolContext& context) {
  Edit edit(context, "restore");
  if (edit.file.kind != FileState::Kind::kMissing && !edit.refusal.empty() &&
      (edit.file.kind != FileState::Kind::kFile || edit.file.read_only || !edit.file.writable)) {
    return edit.Refuse(edit.refusal);
  }
  const std::vector<std::string> backups = Backups(context.equip_ini_path);
  std::string chosen = name.empty() && !backups.empty() ? backups.back() : "";
  for (const std::string& backup : backups) {
    if (backup == name || fs::path(backup).filename().string() == name) chosen = backup;
  }
  if (chosen.empty()) {
    std::string known;
    for (const std::string& backup : backups)
      known += "\n  " + fs::path(backup).filename().string();
    return edit.Refuse(backups.empty() ? "there is no backup of " + context.equip_ini_path
                                       : "\"" + name + "\" is none of the backups:" + known);
  }
  const FileState backup = ReadFileState(chosen);
  if (backup.kind != FileState::Kind::kFile) {
    return edit.Refuse(FileProblem(backup, chosen, "nothing to restore"));
  }
  edit.document = IniDocument(backup.bytes);
  context.out << Column("Restoring") << chosen << "\n";
  return edit.Write();
}

}  // namespace tavirex::config
