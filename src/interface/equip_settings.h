// The equipment INI "PXEquip.ini": its "Equipment" list, which maps an
// equipment key ("Tavirex:" + device name) to the numbered section holding
// that device function's settings, and the keys read from those sections.
// The lookup itself is ClsTavirex::GetEquipNumber / ReadDeviceSetting.
#pragma once

#include <string>
#include <string_view>

namespace tavirex {

inline constexpr const char* kEquipmentSection = "Equipment";
inline constexpr const char* kEquipmentCountKey = "Number";
inline constexpr const char* kEquipKeyPrefix = "Tavirex:";

// Keys of a device function's numbered section.
inline constexpr const char* kEquipDataPathKey = "EquipDataPath";
inline constexpr const char* kEquipProgPathFNameKey = "EquipProgPathFName";

// Section "Tavirex": the host's server-connection component that start-up
// creates on a database-server route, by ProgID or CLSID, and the method it
// calls with the server name; without them the plug-in's own.
inline constexpr const char* kServerConnectionSection = "Tavirex";
inline constexpr const char* kServerConnectionClassKey = "ServerConnectionClass";
inline constexpr const char* kServerConnectionMethodKey = "ServerConnectionMethod";

inline constexpr std::string_view kCaptureVerb = "Capture";
inline constexpr std::string_view kReviewVerb = "Review";

// The equipment key under which the equipment INI lists a device function.
std::string EquipmentKey(const std::string& device_name);

// The twin of a device function: every `from_verb` in the name replaced by
// `to_verb` (case-sensitive), e.g. "Capture Vessara" -> "Review Vessara".
std::string TwinDeviceName(const std::string& name, std::string_view from_verb,
                           std::string_view to_verb);

}  // namespace tavirex
