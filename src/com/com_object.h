// The IUnknown every object of this DLL implements the same way: one
// reference count, and a module reference held while the object lives so the
// DLL stays loaded. AutomationObject adds IDispatch through the embedded type
// library and ISupportErrorInfo for a dual automation interface.
#pragma once

#include "com/com_support.h"
#include "com/module.h"
#include "hostenv/win32/windows_api.h"

namespace tavirex::com {

// `Derived` implements `Interface` (whose IID is *kIid).
template <typename Derived, typename Interface, const IID* kIid>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = static_cast<Derived*>(this)->InterfaceFor(riid);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  // The interface pointer QueryInterface hands out for `riid`, or nullptr.
  void* InterfaceFor(REFIID riid) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *kIid)) {
      return static_cast<Interface*>(this);
    }
    return nullptr;
  }

 protected:
  ComObject() { ModuleAddRef(); }
  ~ComObject() { ModuleRelease(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  LONG references_ = 1;
};

template <typename Derived, typename Interface, const IID* kIid>
class AutomationObject : public ComObject<Derived, Interface, kIid>, public ISupportErrorInfo {
  using Base = ComObject<Derived, Interface, kIid>;

 public:
  // One IUnknown for both bases.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return Base::QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Base::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Base::Release(); }

  void* InterfaceFor(REFIID riid) {
    if (IsEqualIID(riid, IID_IDispatch)) return static_cast<Interface*>(this);
    if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return Base::InterfaceFor(riid);
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return DispatchGetTypeInfo(*kIid, index, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return DispatchGetIDsOfNames(*kIid, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument_error) override {
    return DispatchInvoke(*kIid, static_cast<Interface*>(this), member, riid, flags, params, result,
                          exception, argument_error);
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualIID(riid, *kIid) ? S_OK : S_FALSE;
  }
};

}  // namespace tavirex::com
