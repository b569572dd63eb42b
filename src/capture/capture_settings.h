// The settings stage of a capture: the vendor program, the drop folder and the
// store folder, and where each came from. CaptureDevice runs it first; the
// configuration tool runs it to show a technician what a capture would use.
#pragma once

#include <string>

#include "interface/cls_tavirex.h"

namespace tavirex {

enum class SettingOrigin {
  kConfigured,          // the device function's own numbered section
  kReviewTwin,          // "EquipDataPath" of the Review twin's section
  kDefaultProgramPath,  // the vendor program's default path (LoadEquipProps)
  kHostProgramsFolder,  // "PgmsDir" of the host INI (LoadEquipProps)
  kDropFolderData,      // the drop folder followed by "\Data"
  kHostValue,           // the property as the host left it (a name outside the catalogue)
};

struct CaptureSettings {
  std::string program_path;
  SettingOrigin program_origin = SettingOrigin::kHostValue;
  std::string drop_folder;
  SettingOrigin drop_origin = SettingOrigin::kHostValue;
  std::string store_folder;
  SettingOrigin store_origin = SettingOrigin::kDropFolderData;
};

// LoadEquipProps with the DeviceName property, then the values the equipment
// INI configures for the function and its Review twin. Writes
// EquipProgPathFName and EquipDataPath back as the workflow does; the lookup's
// failures (6, 13) reach the caller.
CaptureSettings SettleCaptureSettings(ClsTavirex& object);

}  // namespace tavirex
