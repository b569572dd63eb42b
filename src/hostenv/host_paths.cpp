#include "hostenv/host_paths.h"

#include <exception>

#include "hostenv/error_report.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace {

const std::string kUnreadableIniMessage =
    std::string("Unable to find or read the ") + kHostIniFileName + " file.";

std::string ReadHostIni(Platform& platform, const char* section, const char* key) {
  return platform.ReadProfileString(section, key, kHostIniFileName);
}

// "DataDir" must look like a drive path or a network path; nothing else is
// checked here.
bool IsDriveOrNetworkPath(const std::string& path) {
  return path.find("\\\\") != std::string::npos || path.find(':') != std::string::npos;
}

}  // namespace

std::string GetPraxoDBPath(Platform& platform) {
  // The step numbers run out of order on purpose: they go into the error
  // file, and support staff look them up in the README's troubleshooting
  // tables, so each keeps the number it has always had.
  int step = 0;
  std::string path;
  try {
    step = 1;
    std::string value = ReadHostIni(platform, "System", "DataDir");
    step = 2;
    if (value.empty()) {
      step = 8;
      platform.MessageBox(kUnreadableIniMessage, msgbox::kCritical, std::nullopt);
      step = 9;
      return kMissingResult;
    }
    step = 3;
    path = value;
    std::string result;
    if (IsDriveOrNetworkPath(path)) {
      step = 4;
      result = path;
    } else {
      step = 7;
      result = kNotAPathResult;
    }
    step = 9;
    return result;
  } catch (...) {
    ReportError(platform, "GetPraxoDBPath- x=" + std::to_string(step) + "    strPath=" + path,
                CurrentFailure(std::current_exception()));
    return "";
  }
}

std::string GetPraxoDBPathModule(Platform& platform) {
  std::string path;
  try {
    path = ReadHostIni(platform, "System", "DataDir");
    if (path.empty()) {
      platform.MessageBox(kUnreadableIniMessage, msgbox::kCritical, std::string(kErrorBoxTitle));
      return kMissingResult;
    }
    if (!IsDriveOrNetworkPath(path)) return kNotAPathResult;
    return platform.FileExists(path + "\\praxo.mdb") ? path : kMissingResult;
  } catch (...) {
    ReportError(platform, "GetPraxoDBPath-strPath=" + path,
                CurrentFailure(std::current_exception()));
    return "";
  }
}

std::string GetPraxoPath(Platform& platform) {
  std::string path;
  try {
    path = ReadHostIni(platform, "System", "PgmsDir");
    if (path.empty()) {
      platform.MessageBox(kUnreadableIniMessage, msgbox::kCritical, std::string());
      return kMissingResult;
    }
    return path;
  } catch (...) {
    ReportError(platform, "GetPraxoPath-strPath=" + path, CurrentFailure(std::current_exception()));
    return "";
  }
}

std::string GetPgmsDir(Platform& platform) { return ReadHostIni(platform, "System", "PgmsDir"); }

void HostModule::EnsureStarted() {
  std::lock_guard<std::mutex> lock(start_mutex_);
  if (started_) return;
  // Set first: a start-up that fails is recorded once, not retried per object.
  started_ = true;
  try {
    Main();
  } catch (...) {
    // Recorded, not shown: nothing of the plug-in depends on the component,
    // and the object is created without it.
    AppendErrorEntry(platform_, "Main", CurrentFailure(std::current_exception()));
  }
}

void HostModule::Main() {
  std::string connect_thru = ReadHostIni(platform_, "ADOConnection", "ConnectThru");
  if (connect_thru.empty()) connect_thru = "JET";
  if (connect_thru != "MSDE" && connect_thru != "SQL") {
    GetPraxoDBPathModule(platform_);
    return;
  }
  std::string server_name = ReadHostIni(platform_, "ADOConnection", "DataSource");
  std::string component_class = platform_.ReadProfileString(
      kServerConnectionSection, kServerConnectionClassKey, kEquipIniFileName);
  if (component_class.empty()) return;  // no component installed on this workstation
  std::string method = platform_.ReadProfileString(kServerConnectionSection,
                                                   kServerConnectionMethodKey, kEquipIniFileName);
  if (method.empty()) method = kDefaultServerConnectionMethod;
  server_connection_ = platform_.ConnectHostServer(component_class, method, server_name);
}

}  // namespace tavirex
