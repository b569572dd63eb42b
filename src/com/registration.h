// Self-registration of the server: the class, its ProgIDs and the type
// library, for the whole machine or for the current user only.
#pragma once

#include "hostenv/win32/windows_api.h"

namespace tavirex::com {

enum class RegistrationScope { kMachine, kUser };

HRESULT RegisterServer(RegistrationScope scope);
// Removes every key RegisterServer writes; a server that is not registered
// unregisters successfully.
HRESULT UnregisterServer(RegistrationScope scope);

}  // namespace tavirex::com
