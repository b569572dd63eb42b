#include "plugin/cls_tavirex.h"

#include <exception>

#include "hostenv/error_report.h"
#include "plugin/catalogue.h"
#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {

ClsTavirex::ClsTavirex(HostModule& module, ImageListView& view)
    : module_(module), platform_(module.platform()), view_(view) {
  module_.EnsureStarted();
  GetPraxoPath(platform_);
}

std::string ClsTavirex::fun_sFixString(const std::string& text) { return Replace(text, "'", "''"); }

std::string ClsTavirex::GetPraxoDBPath() { return tavirex::GetPraxoDBPath(platform_); }

VbBool ClsTavirex::ShouldWriteToLog() {
  std::string value =
      platform_.ReadProfileString(kEquipmentSection, kWriteReceiveDataLogKey, kEquipIniFileName);
  return UpperAscii(value) == "YES" ? kVbTrue : kVbFalse;
}

void ClsTavirex::WriteToLog(const std::string& text) {
  if (props_.gblnShouldWriteToLog == kVbFalse) return;
  try {
    AppendToHostLog(platform_, text);
  } catch (...) {
    ReportError(platform_, "WriteToLog", CurrentFailure(std::current_exception()));
  }
}

// Runs the Capture and/or Review function the device name asks for, and
// reports whatever failure reaches it.
std::string ClsTavirex::DoDeviceFunction() {
  std::string result;
  try {
    // Both words are looked for, so a name holding both runs both.
    if (props_.DeviceName.find("Capture") != std::string::npos) result = CaptureDevice();
    if (props_.DeviceName.find("Review") != std::string::npos) result = ReviewDevice();
  } catch (...) {
    const VbError failure = CurrentFailure(std::current_exception());
    const std::string line = " DoDeviceFunction, Err Number: " + std::to_string(failure.number()) +
                             " Err Description: " + failure.description();
    AppendToLog(platform_, line);
    ReportError(platform_, line, failure);
  }
  return result;
}

}  // namespace tavirex
