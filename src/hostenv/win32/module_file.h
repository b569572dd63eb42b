// The module (the DLL, or a program) this code is linked into: the one place
// that finds it, for its resources, its type library and the folder beside it.
#pragma once

#include <string>

#include "hostenv/win32/windows_api.h"

namespace tavirex {

HMODULE CodeModule();
// Its full path; "" when the system cannot tell, with GetLastError saying why.
std::wstring CodeModulePath();

}  // namespace tavirex
