#include "review/launch_file.h"

#include <exception>

#include "hostenv/error_report.h"
#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

constexpr int kHide = 0;  // the viewer decides how to show itself

}  // namespace

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
