// The device catalogue and the equipment INI "PXEquip.ini": its "Equipment"
// list, which maps an equipment key ("Tavirex:" + device name) to the
// numbered section holding that device function's settings, and the keys
// read from those sections.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hostenv/platform.h"

namespace tavirex {

inline constexpr const char* kEquipmentSection = "Equipment";
inline constexpr const char* kEquipmentCountKey = "Number";
inline constexpr const char* kEquipKeyPrefix = "Tavirex:";
// The switch of the host's receive log, in "Equipment".
inline constexpr const char* kWriteReceiveDataLogKey = "WriteReceiveDataLog";

// Keys of a device function's numbered section.
inline constexpr const char* kEquipDataPathKey = "EquipDataPath";
inline constexpr const char* kEquipProgPathFNameKey = "EquipProgPathFName";

inline constexpr std::string_view kCaptureVerb = "Capture";
inline constexpr std::string_view kReviewVerb = "Review";

// The vendor program where LoadEquipProps expects it.
inline constexpr const char* kDefaultVendorProgram = "C:\\KSOCTVIEW\\bin\\CreatePatient.exe";

// True for one of the sixteen device names, exactly (case included).
bool IsCatalogueName(std::string_view name);

// The equipment key under which the equipment INI lists a device function.
std::string EquipmentKey(const std::string& device_name);

// The twin of a device function: every `from_verb` in the name replaced by
// `to_verb` (case-sensitive), e.g. "Capture Vessara" -> "Review Vessara".
std::string TwinDeviceName(const std::string& name, std::string_view from_verb,
                           std::string_view to_verb);

// The equipment number of an equipment key, 0 when it is not listed. Raises
// 6 and 13 for a malformed matching entry.
std::int16_t GetEquipNumber(Platform& platform, const std::string& equipment_key);

// Reads `key` from the numbered section of device function `device_name`;
// nullopt when the read returned no value.
std::optional<std::string> ReadDeviceSetting(Platform& platform, const std::string& device_name,
                                             const std::string& key);

}  // namespace tavirex
