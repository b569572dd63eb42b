// The device catalogue, the fixed device properties and the lookup of a
// device function's settings in the equipment INI.
#include "plugin/catalogue.h"

#include <array>
#include <vector>

#include "hostenv/host_paths.h"
#include "plugin/cls_tavirex.h"
#include "winrules/vb_number.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

// One row per model; each model offers a Capture and a Review function whose
// names differ only in the verb (the workflows find a twin by that).
constexpr std::array<std::string_view, 8> kModelWords = {
    "iKoraiBlendo", "Vessara", "Corvana", "iScopa", "iBlendo", "iPicta", "iVitara", "iPedra",
};

std::string DeviceFunctionName(std::string_view verb, std::string_view model_word) {
  std::string name(verb);
  name += ' ';
  name += model_word;
  return name;
}

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

bool IsCatalogueName(std::string_view name) {
  // Capture names first, then Review names; exact and case-sensitive.
  for (std::string_view verb : {kCaptureVerb, kReviewVerb}) {
    for (std::string_view model_word : kModelWords) {
      if (name == DeviceFunctionName(verb, model_word)) return true;
    }
  }
  return false;
}

std::vector<std::string> ClsTavirex::DeviceNames() {
  std::vector<std::string> names;
  names.reserve(kModelWords.size() * 2);
  for (std::string_view model_word : kModelWords) {
    names.push_back(DeviceFunctionName(kCaptureVerb, model_word));
    names.push_back(DeviceFunctionName(kReviewVerb, model_word));
  }
  return names;
}

std::string ClsTavirex::GetIDFromEquipFName(const std::string& /*device_name*/,
                                            const std::string& /*file_name*/) {
  return "";
}

void ClsTavirex::LoadEquipProps(const std::string& device_name) {
  if (!IsCatalogueName(device_name)) return;
  props_.UseSerialPort = kVbFalse;
  props_.DataSource = "File";
  props_.EquipProgPathFName = kDefaultVendorProgram;
  props_.EquipDataPath = GetPgmsDir(platform_);
  props_.EquipDataFileStartChars = "op_";
  props_.EquipDataFileEndChars = ".jpg";
  props_.Look4EndOfTransChar = kVbFalse;
  props_.UseOtherCommCtrl = kVbFalse;
}

std::string EquipmentKey(const std::string& device_name) { return kEquipKeyPrefix + device_name; }

std::string TwinDeviceName(const std::string& name, std::string_view from_verb,
                           std::string_view to_verb) {
  return Replace(name, from_verb, to_verb);
}

std::int16_t GetEquipNumber(Platform& platform, const std::string& equipment_key) {
  std::string count_text =
      platform.ReadProfileString(kEquipmentSection, kEquipmentCountKey, kEquipIniFileName);
  // A count beyond 16 bits is an overflow for the caller to handle.
  std::int16_t count = count_text.empty() ? 0 : CIntFromDouble(Val(count_text));
  if (count < 1) return 0;

  std::vector<std::string> key_fields = Split(equipment_key, ':');
  std::size_t wanted_fields = key_fields.size() + 2;
  for (int i = 1; i <= count; ++i) {
    std::string entry =
        platform.ReadProfileString(kEquipmentSection, std::to_string(i), kEquipIniFileName);
    if (entry.empty()) continue;
    std::vector<std::string> entry_fields = Split(entry, ':');
    if (entry_fields.size() != wanted_fields) continue;
    if (!EntryMatches(entry_fields, key_fields, equipment_key)) continue;
    // Only the matching entry's number is converted: 13 or 6 when it is bad.
    return platform.CIntFromString(entry_fields[0]);
  }
  return 0;
}

std::optional<std::string> ReadDeviceSetting(Platform& platform, const std::string& device_name,
                                             const std::string& key) {
  std::int16_t number = GetEquipNumber(platform, EquipmentKey(device_name));
  // An unlisted device function reads from section 0, normally absent.
  std::string value = platform.ReadProfileString(std::to_string(number), key, kEquipIniFileName);
  if (value.empty()) return std::nullopt;
  return value;
}

}  // namespace tavirex
