#include "interface/equip_settings.h"

#include <vector>

#include "hostenv/host_paths.h"
#include "interface/cls_tavirex.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

// Only keys of two or three fields can match; the entry's first two fields
// (number and an unread field) precede the key's fields.
bool EntryMatches(const std::vector<std::string>& entry_fields,
                  const std::vector<std::string>& key_fields, const std::string& key) {
  if (key_fields.size() == 2) {
    return entry_fields[2] + ":" + entry_fields[3] == key;
  }
  if (key_fields.size() == 3) {
    return entry_fields[2] + ":" + entry_fields[3] + ":" + entry_fields[4] == key;
  }
  return false;
}

}  // namespace

std::string EquipmentKey(const std::string& device_name) { return kEquipKeyPrefix + device_name; }

std::string TwinDeviceName(const std::string& name, std::string_view from_verb,
                           std::string_view to_verb) {
  return Replace(name, from_verb, to_verb);
}

std::int16_t ClsTavirex::GetEquipNumber(const std::string& equipment_key) {
  std::string count_text =
      platform_.ReadProfileString(kEquipmentSection, kEquipmentCountKey, kEquipIniFileName);
  // A count beyond 16 bits is an overflow for the caller to handle.
  std::int16_t count = count_text.empty() ? 0 : CIntFromDouble(Val(count_text));
  if (count < 1) return 0;

  std::vector<std::string> key_fields = Split(equipment_key, ':');
  std::size_t wanted_fields = key_fields.size() + 2;
  for (int i = 1; i <= count; ++i) {
    std::string entry =
        platform_.ReadProfileString(kEquipmentSection, std::to_string(i), kEquipIniFileName);
    if (entry.empty()) continue;
    std::vector<std::string> entry_fields = Split(entry, ':');
    if (entry_fields.size() != wanted_fields) continue;
    if (!EntryMatches(entry_fields, key_fields, equipment_key)) continue;
    // Only the matching entry's number is converted: 13 or 6 when it is bad.
    return platform_.CIntFromString(entry_fields[0]);
  }
  return 0;
}

std::optional<std::string> ClsTavirex::ReadDeviceSetting(const std::string& device_name,
                                                         const std::string& key) {
  std::int16_t number = GetEquipNumber(EquipmentKey(device_name));
  // An unlisted device function reads from section 0, normally absent.
  std::string value = platform_.ReadProfileString(std::to_string(number), key, kEquipIniFileName);
  if (value.empty()) return std::nullopt;
  return value;
}

}  // namespace tavirex
