#include "com/module.h"

#include <iterator>
#include <mutex>
#include <string>

#include "hostenv/win32/module_file.h"
#include "hostenv/win32/win32_platform.h"
#include "ui/win32/image_list_window.h"

namespace tavirex::com {
namespace {

LONG g_references = 0;

// What follows the DLL path to load each embedded type library: TYPELIB
// resource 1, the server's own, and 2, the VB runtime's _Collection, which is
// never registered (vba_collection.idl).
constexpr const wchar_t* kTypeLibraryResources[] = {L"", L"\\2"};
constexpr int kTypeLibraries = static_cast<int>(std::size(kTypeLibraryResources));

std::mutex g_typelib_mutex;
ITypeLib* g_typelibs[kTypeLibraries] = {};  // never released: see GetTypeInfoOf

HRESULT LoadTypeLibResource(int index, ITypeLib** library) {
  std::wstring path = CodeModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  path += kTypeLibraryResources[index];
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

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

HRESULT LoadEmbeddedTypeLib(ITypeLib** library) { return LoadTypeLibResource(0, library); }

HRESULT GetTypeInfoOf(REFGUID guid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  HRESULT hr = TYPE_E_ELEMENTNOTFOUND;
  for (int index = 0; index < kTypeLibraries; ++index) {
    ITypeLib* library = nullptr;
    {
      // Loaded on first use (never under the loader lock) and kept while the
      // process runs: releasing it at detach would call into oleaut32 there.
      std::lock_guard<std::mutex> lock(g_typelib_mutex);
      if (g_typelibs[index] == nullptr) {
        hr = LoadTypeLibResource(index, &g_typelibs[index]);
        if (FAILED(hr)) return hr;
      }
      library = g_typelibs[index];
    }
    hr = library->GetTypeInfoOfGuid(guid, info);
    if (SUCCEEDED(hr)) return hr;
  }
  return hr;
}

}  // namespace tavirex::com
