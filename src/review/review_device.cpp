// ReviewDevice and NumPatientImageFiles: a patient's stored image files in
// the Review function's data folder, listed in the image list window or
// counted. Neither catches failures; DoDeviceFunction reports them.
#include <string>

#include "interface/cls_tavirex.h"
#include "interface/equip_settings.h"
#include "review/frm_image_files.h"
#include "review/launch_file.h"
#include "review/patient_files.h"

namespace tavirex {
namespace {

// VB's Trim: leading and trailing blanks only.
std::string TrimBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string ClsTavirex::ReviewDevice() {
  LoadEquipProps(props_.DeviceName);
  const std::string capture_folder =
      ReadDeviceSetting(TwinDeviceName(props_.DeviceName, kReviewVerb, kCaptureVerb),
                        kEquipDataPathKey)
          .value_or("");
  if (auto own_folder = ReadDeviceSetting(props_.DeviceName, kEquipDataPathKey)) {
    props_.EquipDataPath = *own_folder;
  }
  // Without a folder of its own, the Capture twin's folder's "Data".
  const std::string data_folder =
      props_.EquipDataPath.empty() ? TrimBlanks(capture_folder) + "\\Data" : props_.EquipDataPath;
  const std::string PatID = MakePatID(props_.PATIENTID);

  FrmImageFiles form(platform_, view_);
  form.LoadGridWithFiles4PatID(PatID, data_folder);  // reports its own failures
  view_.ShowModal(form);
  return kWasOk;
}

std::int32_t ClsTavirex::NumPatientImageFiles() {
  GetPraxoDBPath();  // only so that an unreadable host INI is reported
  const std::string review_name = TwinDeviceName(props_.DeviceName, kCaptureVerb, kReviewVerb);
  if (auto folder = ReadDeviceSetting(review_name, kEquipDataPathKey)) {
    props_.EquipDataPath = *folder;
  }
  const std::string PatID = MakePatID(props_.PATIENTID);
  std::int32_t count = 0;
  if (platform_.FolderExists(props_.EquipDataPath)) {
    platform_.ListDirectory(PatientFilePattern(props_.EquipDataPath, PatID),
                            [&](const std::string& name) {
                              if (IsPatientFile(name, PatID)) ++count;
                              return true;
                            });
  }
  props_.LogoToolTip = "Last Session: " + platform_.FormatGeneralDate(platform_.Now()) +
                       "  Images=" + std::to_string(count);
  return count;
}

}  // namespace tavirex
