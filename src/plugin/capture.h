// The capture workflow: its settings, the vendor program's command line and
// the import of the drop folder under the stored names
// (vocabulary/stored_name.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plugin/cls_tavirex.h"
#include "vocabulary/stored_name.h"

namespace tavirex {

// The settings stage of a capture: the vendor program, the drop folder and the
// store folder, and where each came from. CaptureDevice runs it first; the
// configuration tool runs it to show a technician what a capture would use.
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

// The vendor program's nine command-line parameters for the patient in
// `props`, joined by single blanks.
std::string BuildVendorParameters(const TavirexProperties& props, const std::string& capture_date);

// The folder part of a program path, up to and including its last backslash
// ("" when it has none).
std::string ProgramFolder(const std::string& program_path);

// Names of the files directly in `folder`, in enumeration order; two names
// that differ only in case raise 457.
std::vector<std::string> GetFolderFileNames(Platform& platform, const std::string& folder);

// Lists the drop folder once, then copies each file to the path ParseFileName
// gives it in `store_folder` (replacing what is there), flushes the copy to
// disk and deletes the exported file without force. The first failure ends
// the import; files already moved stay moved and nothing is restored.
// Returns the stored paths in import order.
std::vector<std::string> ImportDropFolder(ClsTavirex& object, const std::string& drop_folder,
                                          const std::string& store_folder);

// Deletes every file of the drop folder without force, in listing order; the
// first failure ends it.
void ClearDropFolder(ClsTavirex& object, const std::string& drop_folder);

}  // namespace tavirex
