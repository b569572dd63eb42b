// The entry points of the in-process server.
#include <cwchar>

#include "com/class_factory.h"
#include "com/module.h"
#include "com/registration.h"
#include "hostenv/win32/windows_api.h"

using tavirex::com::RegistrationScope;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return tavirex::com::GetClassObject(clsid, riid, object);
}

STDAPI DllCanUnloadNow() { return tavirex::com::ModuleReferenceCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return tavirex::com::RegisterServer(RegistrationScope::kMachine); }

STDAPI DllUnregisterServer() { return tavirex::com::UnregisterServer(RegistrationScope::kMachine); }

// regsvr32 /n /i:user registers for the current user only (and /u /n /i:user
// unregisters); without a command line, or with "machine", for the machine.
STDAPI DllInstall(BOOL install, LPCWSTR command_line) {
  RegistrationScope scope = RegistrationScope::kMachine;
  if (command_line != nullptr && _wcsicmp(command_line, L"user") == 0) {
    scope = RegistrationScope::kUser;
  } else if (command_line != nullptr && *command_line != L'\0' &&
             _wcsicmp(command_line, L"machine") != 0) {
    return E_INVALIDARG;
  }
  return install ? tavirex::com::RegisterServer(scope) : tavirex::com::UnregisterServer(scope);
}
