// The creatable automation object Tavirex.clsTavirex: the dual interface
// _clsTavirex over the core class.
#pragma once

#include "hostenv/win32/windows_api.h"

namespace tavirex::com {

// Creates a clsTavirex object (running the start-up routine before the first
// one) and returns its interface `riid`.
HRESULT CreateTavirexObject(REFIID riid, void** object);

}  // namespace tavirex::com
