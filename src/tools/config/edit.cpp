// The edits of the equipment INI. Each refuses, before writing anything, a
// file it cannot read whole as ANSI text, a read-only one and a value the code
// page cannot hold; it writes the new file and a new time-stamped backup
// beside the old one, then renames: a failure leaves every file as it was.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>

#include "hostenv/system.h"
#include "plugin/catalogue.h"
#include "tools/config/equipment_list.h"

namespace tavirex::config {
namespace {

namespace fs = std::filesystem;

constexpr int kLargestNumber = 32767;
constexpr std::size_t kBackupsKept = 10;

// "Backup", "Written" and the like, in the column the reports use.
std::string Column(const std::string& title) {
  return title + std::string(title.size() < 16 ? 16 - title.size() : 1, ' ');
}

// The lines of `before` and `after` that differ, "-" and "+" with their line
// numbers, around the longest run of lines they share.
void PrintDiff(const std::vector<IniDocument::Line>& before,
               const std::vector<IniDocument::Line>& after, std::ostream& out) {
  const std::size_t n = before.size(), m = after.size();
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
      continue;
    }
    const bool removed = j == m || (i < n && common[i + 1][j] >= common[i][j + 1]);
    std::size_t& index = removed ? i : j;
    out << (removed ? '-' : '+') << Column(std::to_string(index + 1))
        << (removed ? before : after)[index].text << "\n";
    ++index;
  }
}

// The smallest number that no list entry and no section uses yet.
int FreeEquipmentNumber(const IniDocument& document, const EquipmentList& list) {
  std::set<int> used;
  for (const ListEntry& entry : list.entries) used.insert(entry.number.value_or(0));
  for (const IniDocument::Section& section : document.Sections()) {
    used.insert(EntryIndex(section.name).value_or(0));
  }
  int number = 1;
  while (used.count(number) != 0) ++number;
  return number <= kLargestNumber ? number : 0;
}

// Sets `key` of `section` (appended when missing); nullopt removes the key.
void SetKey(IniDocument& document, const std::string& section, std::string_view key,
            const std::optional<std::string>& value) {
  std::optional<std::size_t> line = document.FindKey(section, key);
  if (!value) {
    // Every line of it, as the profile API would read the next one.
    for (; line; line = document.FindKey(section, key)) document.Remove(*line, *line + 1);
    return;
  }
  if (line) return document.ReplaceValue(*line, *value);
  const std::string text = std::string(key) + "=" + *value;
  const std::optional<IniDocument::Section> found = document.FindSection(section);
  if (!found) return document.AppendSection(section, {text});
  document.Insert(document.EndOfKeys(*found), {text});
}

// Sets "Number" of [Equipment] (added after the header when missing); a note
// after the number stays.
void SetCount(IniDocument& document, int count) {
  const std::optional<std::size_t> line = document.FindKey(kEquipmentSection, kEquipmentCountKey);
  if (!line) {
    return document.Insert(document.FindSection(kEquipmentSection)->header + 1,
                           {std::string(kEquipmentCountKey) + "=" + std::to_string(count)});
  }
  std::string text = document.lines()[*line].text;
  if (text.find('=') == std::string::npos) text += '=';
  const std::size_t equals = text.find('=');
  std::size_t start = text.find_first_not_of(" \t", equals + 1);
  if (start == std::string::npos) start = equals + 1;
  std::size_t end = text.find_first_not_of("0123456789.", start);
  if (end == start || end == std::string::npos) end = text.size();
  document.ReplaceText(*line, text.substr(0, start) + std::to_string(count) + text.substr(end));
}

// An edit of the equipment INI, from the file as it is.
struct Edit {
  Edit(ToolContext& tool, std::string name)
      : context(tool),
        command(std::move(name)),
        file(ReadFileState(tool.equip_ini_path)),
        document(file.bytes),
        list(ReadEquipmentList(document, tool.platform)) {
    const std::string& path = tool.equip_ini_path;
    if (file.kind == FileState::Kind::kMissing) return;
    refusal = FileProblem(file, path);
    if (refusal.empty() && file.read_only) {
      refusal = path +
                " is read-only, so someone protected it: if the change is meant, clear its "
                "read-only attribute first (attrib -r, or chmod u+w)";
    } else if (refusal.empty() && !file.writable) {
      refusal = path + " cannot be written by this user; run tavirex-config as an administrator";
    }
  }

  // The equipment number the lookup finds for `name`; -1 when it fails.
  int Number(const std::string& name) {
    try {
      return GetEquipNumber(context.platform, EquipmentKey(name));
    } catch (const VbError&) {
      return -1;
    }
  }

  int Refuse(const std::string& why, int code = kExitRefused) const {
    context.err << "tavirex-config " << command << ": " << why << "\nNothing was changed.\n";
    return code;
  }

  // Shows the change and, unless this is a dry run, writes it.
  int Write() {
    for (const IniDocument::Line& line : document.lines()) {
      if (std::string held = Utf8FromProfileBytes(ProfileBytesFromUtf8(line.text));
          held != line.text) {
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
    const std::string& path = context.equip_ini_path;
    const std::string temporary = path + ".new";
    std::error_code ignored;
    fs::remove(temporary, ignored);  // left by an edit that was cut short
    std::string backup;
    std::string why = WriteNewFile(context.platform, temporary, bytes);
    if (why.empty() && file.kind == FileState::Kind::kFile) {
      // "PXEquip.ini.20261206-104512-123.bak": names sort as the backups were made
      // (a second edit within the same millisecond takes the next one).
      do {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        char stamp[24];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S-", std::localtime(&seconds));
        const auto milliseconds = now.time_since_epoch() / std::chrono::milliseconds(1) % 1000;
        backup = path + "." + stamp + std::to_string(1000 + milliseconds).substr(1) + ".bak";
      } while (fs::exists(backup, ignored));
      why = WriteNewFile(context.platform, backup, file.bytes);
      if (why.empty()) fs::permissions(backup, fs::status(path).permissions(), ignored);
      if (!why.empty()) backup.clear();
    }
    if (why.empty()) why = ReplaceKeeping(temporary, path);
    if (!why.empty()) {
      fs::remove(temporary, ignored);
      if (!backup.empty()) fs::remove(backup, ignored);
      return Refuse(why + std::string(SystemPlatformNotes().windows_dir_write_hint),
                    kExitWriteFailed);
    }
    const std::vector<std::string> backups = Backups(path);
    for (std::size_t i = 0; i + kBackupsKept < backups.size(); ++i) fs::remove(backups[i], ignored);
    if (!backup.empty()) context.out << Column("Backup") << backup << "\n";
    context.out << Column("Written") << path << "\n";
    return kExitOk;
  }

  ToolContext& context;
  std::string command;
  FileState file;
  IniDocument document;
  EquipmentList list;
  std::string refusal;  // why the file cannot be edited; "" when it can
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
  if (!IsCatalogueName(name)) {
    std::string known;
    for (const std::string& device : ClsTavirex::DeviceNames()) known += "\n  " + device;
    return edit.Refuse("\"" + name + "\" is not one of the plug-in's device names, which are " +
                       "(exactly, case included):" + known);
  }
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
  if (request.label && request.label->find_first_of(":\r\n") != std::string::npos) {
    return edit.Refuse("the label must not contain ':' or a line break");
  }
  if (std::string why = request.label ? ValueProblem(*request.label) : ""; !why.empty()) {
    return edit.Refuse("the label " + why);
  }
  if (!edit.refusal.empty()) return edit.Refuse(edit.refusal);
  const EquipmentList& list = edit.list;
  int number = edit.Number(name);
  if (list.count_error || number < 0) {
    return edit.Refuse("the plug-in's lookup of \"" + name +
                       "\" fails; correct the list first (see tavirex-config check)");
  }
  // The first entry that names it: the one the lookup reads.
  const auto first = std::ranges::find_if(list.entries, [&](const ListEntry& candidate) {
    return candidate.ours && candidate.device_name == name && candidate.number == number;
  });
  const ListEntry* entry = first == list.entries.end() ? nullptr : &*first;
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
    if (std::any_of(list.entries.begin(), list.entries.end(),
                    [&](const ListEntry& other) { return other.index == key; })) {
      return edit.Refuse("[Equipment] already has an entry " + std::to_string(key) +
                         " after the last one \"Number\" counts; take it out first with "
                         "tavirex-config remove " +
                         std::to_string(key));
    }
    number = FreeEquipmentNumber(document, list);
    if (key > kLargestNumber || number == 0) return edit.Refuse("the list is full");
    SetKey(document, kEquipmentSection, std::to_string(key),
           std::to_string(number) + ":" + request.label.value_or(name) + ":" + EquipmentKey(name));
    SetCount(document, key);
    if (capture && !program) program = kDefaultVendorProgram;
  } else if (request.label) {
    std::string value = entry->fields[0] + ":" + *request.label;
    for (std::size_t i = 2; i < entry->fields.size(); ++i) value += ":" + entry->fields[i];
    document.ReplaceValue(entry->line, value);
  }
  const std::string section = std::to_string(number);
  if (program) SetKey(document, section, kEquipProgPathFNameKey, program);
  if (request.data_folder) SetKey(document, section, kEquipDataPathKey, request.data_folder);
  if (int written = edit.Write(); written != kExitOk || context.dry_run) return written;

  const std::string twin = TwinDeviceName(name, kCaptureVerb, kReviewVerb);
  if (capture && mode == Upsert::kNew && edit.Number(twin) == 0) {
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
  auto used = [](const ListEntry* entry) { return entry->issue.empty(); };
  if (found.size() > 1 && std::count_if(found.begin(), found.end(), used) == 1) {
    found = {*std::find_if(found.begin(), found.end(), used)};
  }
  if (found.size() != 1) {
    std::string keys;
    for (const ListEntry* entry : found) keys += " " + std::to_string(entry->index);
    return edit.Refuse(!keys.empty()           ? "entries" + keys + " match; give the key of one"
                       : IsCatalogueName(text) ? "\"" + text + "\" is not configured"
                                               : "[Equipment] has no entry \"" + text +
                                                     "\"; give it as tavirex-config list shows it");
  }
  const ListEntry& entry = *found.front();
  IniDocument& document = edit.document;
  const std::vector<IniDocument::Key> keys =
      document.Keys(*document.FindSection(kEquipmentSection));
  if (std::count_if(keys.begin(), keys.end(), [&](const IniDocument::Key& key) {
        return EntryIndex(key.name) == entry.index;
      }) > 1) {
    return edit.Refuse("[Equipment] has two lines for entry " + std::to_string(entry.index) +
                       "; tidy it by hand");
  }
  // Entries after a counted one move up a key, so that "Number" counts them all.
  if (entry.index <= list.count && !list.count_error) {
    SetCount(document, list.count - 1);
    for (const IniDocument::Key& key : keys) {
      if (std::optional<int> index = EntryIndex(key.name); index && *index > entry.index) {
        std::string line = document.lines()[key.line].text;
        line.replace(line.find(key.name), key.name.size(), std::to_string(*index - 1));
        document.ReplaceText(key.line, line);
      }
    }
  }
  // Its settings go too, unless another entry names the same section; the
  // later lines first, as a removal shifts those after it.
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
  return edit.Write();
}

int RunSetKeys(const std::string& command, const std::string& section, const KeyValues& keys,
               ToolContext& context, const std::string& refusal) {
  Edit edit(context, command);
  if (!refusal.empty() || !edit.refusal.empty()) {
    return edit.Refuse(refusal.empty() ? edit.refusal : refusal);
  }
  for (const auto& [key, value] : keys) SetKey(edit.document, section, key, value);
  if (std::optional<IniDocument::Section> found = edit.document.FindSection(section);
      found && edit.document.Keys(*found).empty()) {
    edit.document.RemoveSection(*found);
  }
  return edit.Write();
}

int RunRestore(const std::string& name, ToolContext& context) {
  Edit edit(context, "restore");
  // A file that is not ANSI text can be restored over, not one that cannot be replaced.
  if (!edit.refusal.empty() &&
      (edit.file.kind != FileState::Kind::kFile || edit.file.read_only || !edit.file.writable)) {
    return edit.Refuse(edit.refusal);
  }
  const std::vector<std::string> backups = Backups(context.equip_ini_path);
  std::string chosen = name.empty() && !backups.empty() ? backups.back() : "";
  std::string known;
  for (const std::string& backup : backups) {
    if (backup == name || fs::path(backup).filename() == name) chosen = backup;
    known += "\n  " + fs::path(backup).filename().string();
  }
  const FileState backup = ReadFileState(chosen);
  if (chosen.empty() || backup.kind != FileState::Kind::kFile) {
    return edit.Refuse("\"" + name + "\" is none of the backups of " + context.equip_ini_path +
                       ":" + (known.empty() ? " there are none" : known));
  }
  edit.document = IniDocument(backup.bytes);
  context.out << Column("Restoring") << chosen << "\n";
  return edit.Write();
}

}  // namespace tavirex::config
