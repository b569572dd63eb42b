// DoDeviceFunction: runs the Capture and/or Review function the device name
// asks for, and reports whatever failure reaches it.
#include <exception>
#include <string>

#include "hostenv/error_report.h"
#include "interface/cls_tavirex.h"
#include "winrules/vb_error.h"

namespace tavirex {

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
