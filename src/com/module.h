// State of the loaded DLL: the count that DllCanUnloadNow reads, the
// process-wide platform services, image list window and host module, and the
// type library embedded in the DLL.
#pragma once

#include "hostenv/host_paths.h"
#include "hostenv/win32/windows_api.h"
#include "plugin/image_list_view.h"

namespace tavirex::com {

// Live objects (class objects, clsTavirex objects, collections, enumerators)
// and LockServer locks. The DLL may unload only when this is zero.
void ModuleAddRef();
void ModuleRelease();
long ModuleReferenceCount();

// The one host module of the loaded DLL, which runs the start-up routine
// before the first object, on its Win32 platform services, and the window
// that shows the image list.
HostModule& SharedHostModule();
ImageListView& SharedImageListView();

// The type information of an interface of the embedded type libraries
// (loaded once); the caller releases it.
HRESULT GetTypeInfoOf(REFGUID guid, ITypeInfo** info);
// The embedded type library that registration registers (TYPELIB resource
// 1), AddRef'd; loaded from the DLL path on each call.
HRESULT LoadEmbeddedTypeLib(ITypeLib** library);

}  // namespace tavirex::com
