// ReviewDevice and NumPatientImageFiles: a patient's stored image files in
// the Review function's data folder, listed in the image list window or
// counted. Neither catches failures; DoDeviceFunction reports them.
#include "plugin/review.h"

#include <exception>
#include <string>

#include "hostenv/error_report.h"
#include "plugin/capture.h"
#include "plugin/catalogue.h"
#include "plugin/cls_tavirex.h"
#include "plugin/frm_image_files.h"
#include "plugin/image_list_view.h"
#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

constexpr int kHide = 0;  // the viewer decides how to show itself

}  // namespace

std::string ClsTavirex::ReviewDevice() {
  LoadEquipProps(props_.DeviceName);
  const std::string capture_folder =
      ReadDeviceSetting(platform_, TwinDeviceName(props_.DeviceName, kReviewVerb, kCaptureVerb),
                        kEquipDataPathKey)
          .value_or("");
  if (auto own_folder = ReadDeviceSetting(platform_, props_.DeviceName, kEquipDataPathKey)) {
    props_.EquipDataPath = *own_folder;
  }
  // Without a folder of its own, the Capture twin's folder's "Data".
  const std::string data_folder =
      props_.EquipDataPath.empty() ? Trim(capture_folder) + "\\Data" : props_.EquipDataPath;
  const std::string PatID = MakePatID(props_.PATIENTID);

  FrmImageFiles form(platform_, view_);
  form.LoadGridWithFiles4PatID(PatID, data_folder);  // reports its own failures
  view_.ShowModal(form);
  return kWasOk;
}

std::int32_t ClsTavirex::NumPatientImageFiles() {
  GetPraxoDBPath();  // only so that an unreadable host INI is reported
  const std::string review_name = TwinDeviceName(props_.DeviceName, kCaptureVerb, kReviewVerb);
  if (auto folder = ReadDeviceSetting(platform_, review_name, kEquipDataPathKey)) {
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

std::string PatientFilePattern(std::string_view folder, std::string_view PatID) {
  std::string pattern(folder);
  pattern += '\\';
  pattern += PatID;
  pattern += "_*.*";
  return pattern;
}

std::string LaunchFile(Platform& platform, const std::string& path, std::uintptr_t owner_window) {
  try {
    const std::string file_type = Split(path, '.').back();
    const std::intptr_t result = platform.ShellExecute(owner_window, "open", path, "", "", kHide);
    if (result > shellexec::kLastFailure) return kWasOk;
    if (result == shellexec::kNoAssociation) {
      return "There is no file association for the " + file_type + " file type.";
    }
    return "There was a problem executing the default image viewer.\r\n Check that it is properly "
           "installed.";
  } catch (...) {
    ReportError(platform, "LaunchFile", CurrentFailure(std::current_exception()));
    return "";
  }
}

}  // namespace tavirex
