#include "com/class_factory.h"

#include <new>

#include "com/com_object.h"
#include "com/module.h"
#include "com/tavirex_h.h"
#include "com/tavirex_object.h"

namespace tavirex::com {
namespace {

constexpr CreatableClass kCreatableClasses[] = {
    {&CLSID_clsTavirex, &CreateTavirexObject},
};

// A live class object keeps the DLL loaded, as does each LockServer(TRUE).
class ClassFactory final : public ComObject<ClassFactory, IClassFactory, &IID_IClassFactory> {
 public:
  explicit ClassFactory(CreateFunction create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return create_(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }

 private:
  CreateFunction create_;
};

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (const CreatableClass& entry : kCreatableClasses) {
    if (!IsEqualCLSID(clsid, *entry.clsid)) continue;
    auto* factory = new (std::nothrow) ClassFactory(entry.create);
    if (factory == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace tavirex::com
