// CaptureDevice: start the vendor program for the current patient, wait for
// the technician's export, then import the drop folder into the store folder.
#include "capture/capture_device.h"

#include <exception>

#include "capture/capture_settings.h"
#include "capture/import.h"
#include "hostenv/error_report.h"
#include "interface/equip_settings.h"
#include "winrules/utf8.h"
#include "winrules/vb_date.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

constexpr int kShowNormal = 5;  // SW_SHOW: the window in its current size and position

std::string Quoted(const std::string& value) { return "\"" + value + "\""; }

// Today as "mm/dd/yyyy" with the workstation's date separator.
std::string CaptureDate(Platform& platform) {
  CivilDateTime today = ToCivil(platform.Now());
  std::string year = std::to_string(today.year);
  year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
  std::string separator = platform.DateSeparator();
  return TwoDigits(today.month) + separator + TwoDigits(today.day) + separator + year;
}

}  // namespace

std::string MakePatID(const std::string& patient_id) {
  std::string key = Replace(patient_id, "-", "");
  key.resize(Utf16CutPoint(key, 16));
  return key;
}

std::string ProgramFolder(const std::string& program_path) {
  std::size_t last = program_path.rfind('\\');
  return last == std::string::npos ? "" : program_path.substr(0, last + 1);
}

std::string BuildVendorParameters(const TavirexProperties& props, const std::string& capture_date) {
  const std::string middle = props.MiddleName.empty() ? "n/a" : props.MiddleName;
  return Quoted(MakePatID(props.PATIENTID)) + " " + Quoted(props.LastName) + " " +
         Quoted(props.FirstName) + " " + Quoted(middle) + " " + props.Gender + " " +
         props.DateOfBirth + " " + Quoted("n/a") + " " + capture_date + " 1";
}

std::string ClsTavirex::CaptureDevice() {
  std::int16_t checkpoint = 0;
  try {
    // Settings: the fixed properties, then what the equipment INI configures.
    const CaptureSettings settings = SettleCaptureSettings(*this);
    const std::string& drop_folder = settings.drop_folder;
    const std::string& store_folder = settings.store_folder;

    checkpoint = 1;
    if (!platform_.FolderExists(drop_folder)) platform_.CreateFolder(drop_folder);
    if (!platform_.FolderExists(store_folder)) platform_.CreateFolder(store_folder);
    capture_date_ = CaptureDate(platform_);

    checkpoint = 2;
    const std::string program_path = props_.EquipProgPathFName;
    const std::string program_folder = ProgramFolder(program_path);
    if (!program_folder.empty() && platform_.FolderExists(program_folder)) {
      platform_.SetCurrentDirectory(program_folder);
    }

    checkpoint = 3;
    const std::string parameters = BuildVendorParameters(props_, capture_date_);

    checkpoint = 4;
    if (!platform_.FileExists(program_path)) {
      platform_.MessageBox("File Not Found", msgbox::kOkOnly, std::string("Attention"));
      return "";
    }
    platform_.ShellExecute(0, "open", program_path, parameters, program_folder, kShowNormal);

    checkpoint = 5;
    int answer = platform_.MessageBox("Waiting for Technician  -  Place files in " + drop_folder,
                                      msgbox::kOkCancel, std::string("Tavirex Capture"));
    if (answer == msgbox::kOk) {
      checkpoint = 6;
      ImportDropFolder(*this, drop_folder, store_folder);
    } else if (platform_.MessageBox("Do you want to delete current files?", msgbox::kYesNo,
                                    std::string("Attention")) == msgbox::kYes) {
      ClearDropFolder(*this, drop_folder);
    }
    return "Was OK";
  } catch (...) {
    VbError failure = CurrentFailure(std::current_exception());
    const std::string line = " CaptureDevice, Err Number: " + std::to_string(failure.number()) +
                             " Err Description: " + failure.description() + " " +
                             std::to_string(checkpoint);
    AppendToLog(platform_, line);
    ReportError(platform_, line, failure);
    return "";
  }
}

}  // namespace tavirex
