#include "tools/config/equipment_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "winrules/ini_profile.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"

namespace tavirex::config {

namespace fs = std::filesystem;

namespace {

// Why one of ours is never used, judged against the entries before it.
std::string EntryIssue(const ListEntry& entry, const EquipmentList& list) {
  if (std::string why = ValueProblem(entry.value); !why.empty()) return why;
  if (entry.index > list.count) {
    return "after entry " + std::to_string(list.count) + " (\"Number\"): never read";
  }
  if (entry.fields.size() != 4 || entry.fields[2] != "Tavirex") {
    return std::to_string(entry.fields.size()) +
           " fields, never matches (number:label:Tavirex:device name)";
  }
  if (!IsCatalogueName(entry.device_name)) {
    return "\"" + entry.device_name + "\" is no device name (exact, case included)";
  }
  for (const ListEntry& earlier : list.entries) {
    if (earlier.index >= entry.index) break;
    if (earlier.ours && earlier.issue.empty() && earlier.device_name == entry.device_name) {
      return "entry " + std::to_string(earlier.index) + " lists it first: never used";
    }
  }
  return "";
}

// Why Windows refuses a name in a path; "".
std::string NameProblem(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 32 ||
        std::string_view("<>:\"|?*").find(c) != std::string::npos) {
      return "holds the character '" + std::string(1, c) +
             "', which Windows refuses in a file or folder name";
    }
  }
  if (name.ends_with('.') || name.ends_with(' ')) {
    return "has the name \"" + std::string(name) + "\", whose last dot or blank Windows drops";
  }
  const std::string device = UpperAscii(name.substr(0, name.find('.')));
  const bool numbered = device.size() == 4 && device[3] >= '1' && device[3] <= '9' &&
                        (device.starts_with("COM") || device.starts_with("LPT"));
  if (numbered || device == "CON" || device == "PRN" || device == "AUX" || device == "NUL") {
    return "names the device " + device + ", which Windows reserves";
  }
  return "";
}

}  // namespace

std::string FileProblem(const FileState& file, const std::string& path, const std::string& effect) {
  switch (file.kind) {
    case FileState::Kind::kMissing:
      return fs::path(path).filename().string() + " is missing (" + path + "): " + effect;
    case FileState::Kind::kNotAFile:
      return path + " is " + file.why + ", not a file: " + effect + "; move it aside";
    case FileState::Kind::kUnreadable:
      return path + " cannot be read by this user (" + file.why + "): " + effect +
             "; let the users read it, or run tavirex-config as an administrator";
    case FileState::Kind::kFile:
      break;
  }
  if (file.bytes.starts_with("\xEF\xBB\xBF")) {
    return path +
           " starts with a UTF-8 byte-order mark, which Windows reads as text of its first "
           "line; save it as ANSI text";
  }
  if (AnsiFromUtf16Profile(file.bytes)) {
    return path +
           " is a Unicode (UTF-16) file: the plug-in reads it, but tavirex-config edits ANSI "
           "text only; save it as ANSI text (Notepad: Save As, Encoding ANSI)";
  }
  return "";
}

std::optional<int> EntryIndex(const std::string& key) {
  if (key.empty() || key.size() > 5 || key.front() == '0' ||
      key.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(key);
}

EquipmentList ReadEquipmentList(const IniDocument& document, Platform& platform) {
  EquipmentList list;
  list.number_text =
      platform.ReadProfileString(kEquipmentSection, kEquipmentCountKey, kEquipIniFileName);
  try {
    // The lookup's own reading of "Number".
    list.count = list.number_text.empty() ? 0 : CIntFromDouble(Val(list.number_text));
  } catch (const VbError& error) {
    list.count_error = error;
  }
  std::optional<IniDocument::Section> section = document.FindSection(kEquipmentSection);
  if (!section) return list;

  std::map<int, ListEntry> by_index;  // the first of duplicate keys is the one read
  for (const IniDocument::Key& key : document.Keys(*section)) {
    std::optional<int> index = EntryIndex(key.name);
    if (!index || by_index.count(*index) != 0) continue;
    ListEntry& entry = by_index[*index];
    entry.index = *index;
    entry.line = key.line;
    entry.value = platform.ReadProfileString(kEquipmentSection, key.name, kEquipIniFileName);
    entry.fields = Split(entry.value, ':');
    auto tavirex = std::find(entry.fields.begin() + std::min<std::size_t>(2, entry.fields.size()),
                             entry.fields.end(), "Tavirex");
    entry.ours = tavirex != entry.fields.end();
    if (entry.ours && tavirex + 1 != entry.fields.end()) entry.device_name = *(tavirex + 1);
    try {
      entry.number = platform.CIntFromString(entry.fields[0]);
    } catch (const VbError& error) {
      entry.number_error = error;
    }
  }
  for (auto& [index, entry] : by_index) list.entries.push_back(std::move(entry));
  // With an unreadable "Number" the lookup reads nothing (reported on its own).
  for (ListEntry& entry : list.entries) {
    if (entry.ours && !list.count_error) entry.issue = EntryIssue(entry, list);
  }
  return list;
}

bool IsMethodName(const std::string& name) {
  return !name.empty() && name.size() <= 255 &&
         std::isalpha(static_cast<unsigned char>(name.front())) &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
         });
}

std::string ErrorText(const VbError& error) {
  return "Err " + std::to_string(error.number()) + " " + error.description();
}

std::string ValueProblem(const std::string& value) {
  if (std::size_t comment = std::min(value.find(" ;"), value.find("\t;"));
      comment != std::string::npos) {
    return "carries an inline comment (\"" + value.substr(comment + 1) +
           "\"): the profile API keeps it as part of the value; put comments on lines of their own";
  }
  auto quote = [](char c) { return c == '"' || c == '\''; };
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  if (!value.empty() && (quote(value.front()) || quote(value.back()))) {
    return "keeps a quote (the profile API removes only one pair of matching outer quotes)";
  }
  if (!value.empty() && (blank(value.front()) || blank(value.back()))) {
    return "begins or ends with blanks inside its quotes, which stay part of the value";
  }
  return "";
}

std::string PathProblem(const std::string& path) {
  if (path.empty()) return "is empty";
  if (path.size() > 254) return "is longer than the 254 characters the plug-in reads";
  if (ProfileTrim(path) != path) return "begins or ends with white space, which is dropped";
  if (ProfileUnquote(path) != path) return "is in quotes, which are dropped";
  if (std::string why = ValueProblem(path); !why.empty()) return why;
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                     path[1] == ':' && path[2] == '\\';
  if (!drive && !path.starts_with("\\\\")) {
    return "is no full Windows path (C:\\folder or \\\\server\\share\\folder)";
  }
  if (path.size() > 3 && path.back() == '\\') return "ends with a backslash";
  for (const std::string& name : Split(path.substr(drive ? 3 : 2), '\\')) {
    if (std::string why = NameProblem(name); !why.empty()) return why;
  }
  return "";
}

}  // namespace tavirex::config
