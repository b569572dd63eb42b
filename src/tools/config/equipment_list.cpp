#include "tools/config/equipment_list.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "interface/equip_settings.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
namespace {

// The decimal number a key is named by ("12"), as the lookup writes it.
std::optional<int> EntryIndex(const std::string& key) {
  if (key.empty() || key.size() > 5 || key.front() == '0') return std::nullopt;
  if (!std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoi(key);
}

// Why one of ours is never used, judged against the entries before it.
std::string EntryIssue(const ListEntry& entry, const EquipmentList& list) {
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

bool IsCatalogueName(const std::string& name) {
  const std::vector<std::string> names = ClsTavirex::DeviceNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string ErrorText(const VbError& error) {
  return "Err " + std::to_string(error.number()) + " " + error.description();
}

}  // namespace tavirex::config
