#include "com/module.h"

#include <mutex>

#include "hostenv/win32/module_file.h"
#include "hostenv/win32/win32_platform.h"
#include "ui/win32/image_list_window.h"

namespace tavirex::com {
namespace {

LONG g_references = 0;

std::mutex g_typelib_mutex;
ITypeLib* g_typelib = nullptr;  // never released: see GetTypeInfoOf

}  // namespace

void ModuleAddRef() { InterlockedIncrement(&g_references); }

void ModuleRelease() { InterlockedDecrement(&g_references); }

long ModuleReferenceCount() { return InterlockedCompareExchange(&g_references, 0, 0); }

HostModule& SharedHostModule() {
  // Deliberately never destroyed: destruction would run at DLL detach under
  // the loader lock, and the host module may hold the host's COM component.
  static Win32Platform* platform = new Win32Platform();
  static HostModule* module = new HostModule(*platform);
  return *module;
}

ImageListView& SharedImageListView() {
  static ImageListWindow window;
  return window;
}

HRESULT LoadEmbeddedTypeLib(ITypeLib** library) {
  std::wstring path = CodeModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

HRESULT GetTypeInfoOf(REFGUID guid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ITypeLib* library = nullptr;
  {
    // Loaded on first use (never under the loader lock) and kept while the
    // process runs: releasing it at detach would call into oleaut32 there.
    std::lock_guard<std::mutex> lock(g_typelib_mutex);
    if (g_typelib == nullptr) {
      HRESULT hr = LoadEmbeddedTypeLib(&g_typelib);
      if (FAILED(hr)) return hr;
    }
    library = g_typelib;
  }
  return library->GetTypeInfoOfGuid(guid, info);
}

}  // namespace tavirex::com
