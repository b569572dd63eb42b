#include "hostenv/system.h"
#include "hostenv/win32/text.h"
#include "hostenv/win32/win32_platform.h"

// After <windows.h>, which leaves it out for WIN32_LEAN_AND_MEAN.
#include <winsvc.h>

namespace tavirex {
namespace {

struct ServiceHandle {
  SC_HANDLE handle;
  ~ServiceHandle() {
    if (handle) CloseServiceHandle(handle);
  }
};

ServiceStatus::State StateOf(DWORD current) {
  using State = ServiceStatus::State;
  switch (current) {
    case SERVICE_STOPPED:
      return State::kStopped;
    case SERVICE_START_PENDING:
    case SERVICE_CONTINUE_PENDING:
      return State::kStarting;
    case SERVICE_RUNNING:
      return State::kRunning;
    case SERVICE_STOP_PENDING:
      return State::kStopping;
    default:  // paused, or pausing
      return State::kPaused;
  }
}

}  // namespace

// Connecting to the manager and querying a service's status are rights every
// user has by default, so no administrator is needed to ask.
ServiceStatus FindService(const std::string& name) {
  const ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (!manager.handle) {
    return {ServiceStatus::State::kUnknown, VbErrorFromWin32(GetLastError()).description()};
  }
  const ServiceHandle service{
      OpenServiceW(manager.handle, WideFromUtf8(name).c_str(), SERVICE_QUERY_STATUS)};
  SERVICE_STATUS status{};
  if (service.handle && QueryServiceStatus(service.handle, &status)) {
    return {StateOf(status.dwCurrentState), ""};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_SERVICE_DOES_NOT_EXIST) return {ServiceStatus::State::kNotInstalled, ""};
  return {ServiceStatus::State::kUnknown, VbErrorFromWin32(error).description()};
}

}  // namespace tavirex
