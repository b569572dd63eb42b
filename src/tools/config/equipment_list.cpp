#include "tools/config/equipment_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "hostenv/system.h"
#include "plugin/catalogue.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
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

}  // namespace

std::optional<int> EntryIndex(const std::string& key) {
  if (key.empty() || key.size() > 5 || key.front() == '0') return std::nullopt;
  if (!std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoi(key);
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool ReplaceFileContents(Platform& platform, const std::string& path, const std::string& bytes,
                         std::string& error) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.flush();
    if (!out) {
      error = "cannot write " + temporary;
      std::remove(temporary.c_str());
      return false;
    }
  }
  try {
    platform.MoveReplacing(temporary, path);
  } catch (const VbError& failure) {
    error = "cannot replace " + path + " (" + ErrorText(failure) + ")";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

std::string EncodingProblem(const std::string& bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    return "starts with a UTF-8 byte-order mark, which Windows reads as text of its first line";
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    return "is a Unicode (UTF-16) file; this tool edits ANSI files only";
  }
  return "";
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
    ListEntry entry;
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
    by_index.emplace(*index, std::move(entry));
  }
  for (auto& [index, entry] : by_index) list.entries.push_back(std::move(entry));
  // With an unreadable "Number" the lookup reads nothing at all; that is
  // reported on its own.
  for (ListEntry& entry : list.entries) {
    if (entry.ours && !list.count_error) entry.issue = EntryIssue(entry, list);
  }
  return list;
}

int RefuseDeviceName(const std::string& command, const std::string& name, ToolContext& context) {
  context.err << "tavirex-config " << command << ": \"" << name
              << "\" is not one of the plug-in's device names.\n"
              << "The device names are (exactly, case included):\n";
  for (const std::string& known : ClsTavirex::DeviceNames()) context.err << "  " << known << "\n";
  context.err << "Nothing was changed.\n";
  return kExitRefused;
}

std::string LabelProblem(const std::string& label) {
  if (label.find_first_of(":\r\n") != std::string::npos) {
    return "the label must not contain ':' or a line break";
  }
  if (std::string why = ValueProblem(label); !why.empty()) return "the label " + why;
  return "";
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
  for (std::size_t i = 1; i < value.size(); ++i) {
    if (value[i] == ';' && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
      return "carries an inline comment (\"" + value.substr(i) +
             "\"): the profile API keeps it as part of the value; put comments on lines of "
             "their own";
    }
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
  if (IniDocument::Trim(path) != path) return "begins or ends with white space, which is dropped";
  if (path.size() >= 2 && (path.front() == '"' || path.front() == '\'') &&
      path.back() == path.front()) {
    return "is in quotes, which are dropped";
  }
  if (std::string why = ValueProblem(path); !why.empty()) return why;
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                     path[1] == ':' && path[2] == '\\';
  if (!drive && !path.starts_with("\\\\")) {
    return "is no full Windows path (C:\\folder or \\\\server\\share\\folder)";
  }
  if (path.size() > 3 && path.back() == '\\') return "ends with a backslash";
  return "";
}

std::string ParentFolder(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  std::size_t last = path.rfind('\\');
  if (last == std::string::npos || last == 0) return "";
  std::string parent = path.substr(0, last);
  if (parent.size() == 2 && parent[1] == ':') parent += '\\';
  return parent;
}

Edit::Edit(ToolContext& tool)
    : context(tool),
      bytes(ReadFileBytes(tool.equip_ini_path)),
      document(bytes.value_or("")),
      session(tool.platform),
      list(ReadEquipmentList(document, session.platform())) {
  if (bytes && !EncodingProblem(*bytes).empty()) {
    refusal = tool.equip_ini_path + " " + EncodingProblem(*bytes) + "; save it as ANSI text first";
  } else if (list.count_error) {
    refusal = "[Equipment] \"Number\" is " + list.number_text +
              ", beyond 32767; correct it first (see tavirex-config check)";
  }
}

void SetKey(IniDocument& document, const std::string& section, std::string_view key,
            std::string_view value) {
  const std::string line = std::string(key) + "=" + std::string(value);
  std::optional<IniDocument::Section> found = document.FindSection(section);
  if (!found) {
    document.AppendBlock({IniDocument::SectionHeader(section), line});
  } else if (std::optional<std::size_t> key_line = document.FindKey(*found, key)) {
    document.ReplaceValue(*key_line, value);
  } else {
    document.Insert(document.EndOfKeys(*found), {line});
  }
}

void RemoveKey(IniDocument& document, const std::string& section, std::string_view key) {
  while (std::optional<IniDocument::Section> found = document.FindSection(section)) {
    std::optional<std::size_t> key_line = document.FindKey(*found, key);
    if (!key_line) return;
    document.Remove(*key_line, *key_line + 1);
  }
}

std::string WithNumber(const std::string& line, int number) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return line + "=" + std::to_string(number);
  std::size_t start = line.find_first_not_of(" \t", equals + 1);
  if (start == std::string::npos) return line.substr(0, equals + 1) + std::to_string(number);
  std::size_t end = line.find_first_not_of("0123456789.", start);
  if (end == start) end = line.size();
  if (end == std::string::npos) end = line.size();
  return line.substr(0, start) + std::to_string(number) + line.substr(end);
}

std::string Column(const std::string& title) {
  return title + std::string(title.size() < 16 ? 16 - title.size() : 1, ' ');
}

int WriteEdit(const Edit& edit, const std::string& command) {
  ToolContext& context = edit.context;
  const std::string& path = context.equip_ini_path;
  const std::string_view write_hint = SystemPlatformNotes().windows_dir_write_hint;
  std::string error;
  if (edit.bytes) {
    if (!ReplaceFileContents(context.platform, path + ".bak", *edit.bytes, error)) {
      context.err << "tavirex-config " << command << ": no backup: " << error << write_hint
                  << "\nNothing was changed.\n";
      return kExitWriteFailed;
    }
    context.out << Column("Backup") << path << ".bak\n";
  }
  if (!ReplaceFileContents(context.platform, path, edit.document.Bytes(), error)) {
    context.err << "tavirex-config " << command << ": " << error << write_hint
                << "\nNothing was changed.\n";
    return kExitWriteFailed;
  }
  context.out << Column("Written") << path << "\n";
  return kExitOk;
}

std::string MissingParentWarning(Platform& platform, const std::string& folder) {
  const std::string parent = ParentFolder(folder);
  if (parent.empty() || platform.FolderExists(folder) || platform.FolderExists(parent)) return "";
  return "Warning: " + folder + " is missing and so is its parent " + parent +
         ": Capture creates one folder level only (it fails with Err 76 Path not found); "
         "create " +
         parent + " first.\n";
}

}  // namespace tavirex::config
