// The class objects of the server: one generic factory per entry of the
// table of creatable classes.
#pragma once

#include "hostenv/win32/windows_api.h"

namespace tavirex::com {

using CreateFunction = HRESULT (*)(REFIID riid, void** object);

struct CreatableClass {
  const CLSID* clsid;
  CreateFunction create;
};

// DllGetClassObject: the class object of `clsid` as `riid`, or
// CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

}  // namespace tavirex::com
