#include "capture/capture_settings.h"

#include <algorithm>
#include <vector>

#include "interface/equip_settings.h"

namespace tavirex {

CaptureSettings SettleCaptureSettings(ClsTavirex& object) {
  TavirexProperties& props = object.props();
  const std::vector<std::string> catalogue = ClsTavirex::DeviceNames();
  const bool in_catalogue =
      std::find(catalogue.begin(), catalogue.end(), props.DeviceName) != catalogue.end();
  object.LoadEquipProps(props.DeviceName);

  CaptureSettings settings;
  if (in_catalogue) {
    settings.program_origin = SettingOrigin::kDefaultProgramPath;
    settings.drop_origin = SettingOrigin::kHostProgramsFolder;
  }
  if (auto program = object.ReadDeviceSetting(props.DeviceName, kEquipProgPathFNameKey)) {
    props.EquipProgPathFName = *program;
    settings.program_origin = SettingOrigin::kConfigured;
  }
  if (auto drop = object.ReadDeviceSetting(props.DeviceName, kEquipDataPathKey)) {
    props.EquipDataPath = *drop;
    settings.drop_origin = SettingOrigin::kConfigured;
  }
  settings.program_path = props.EquipProgPathFName;
  settings.drop_folder = props.EquipDataPath;

  // Stored images go where the Review twin lists them.
  const std::string review_name = TwinDeviceName(props.DeviceName, kCaptureVerb, kReviewVerb);
  if (auto store = object.ReadDeviceSetting(review_name, kEquipDataPathKey)) {
    settings.store_folder = *store;
    settings.store_origin = SettingOrigin::kReviewTwin;
  } else {
    settings.store_folder = props.EquipDataPath + "\\Data";
    settings.store_origin = SettingOrigin::kDropFolderData;
  }
  return settings;
}

}  // namespace tavirex
