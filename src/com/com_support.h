// Helpers shared by the automation objects: the one place that turns a
// failure into an HRESULT with error info, automation strings and booleans,
// an owning VARIANT, and IDispatch through the embedded type library.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "hostenv/win32/windows_api.h"
#include "winrules/vb_error.h"

namespace tavirex::com {

// For the failure being handled, as CurrentFailure sees it: sets the error
// info (description, source `source`, interface `iid`) and returns the
// HRESULT of its VB error number (HresultFromVbNumber). Out of memory is
// E_OUTOFMEMORY without error info.
HRESULT HresultFromCurrentException(REFIID iid, const wchar_t* source) noexcept;

// Runs `body`; a failure leaves through HresultFromCurrentException.
template <typename Body>
HRESULT ComCall(REFIID iid, const wchar_t* source, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
    return S_OK;
  } catch (...) {
    return HresultFromCurrentException(iid, source);
  }
}

// A result without VB error of its own (E_POINTER, E_NOTIMPL): clears the
// thread's error info so that a caller does not see an older description.
HRESULT PlainFailure(HRESULT result);

// An automation string for an out parameter; throws std::bad_alloc.
void SetBstr(BSTR* out, const std::string& text);

// The SDK declares the source variant of VariantCopy and VariantChangeType
// without const although they only read it.
inline VARIANTARG* Source(const VARIANT& value) { return const_cast<VARIANTARG*>(&value); }

// Owning VARIANT: copies with VariantCopy, clears on destruction.
class ComVariant {
 public:
  ComVariant() { VariantInit(&value_); }
  // Copies through any VT_BYREF (VariantCopyInd); throws VbError 13 or
  // std::bad_alloc when it cannot.
  explicit ComVariant(const VARIANT& source);
  ComVariant(const ComVariant& other);
  ComVariant(ComVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  ComVariant& operator=(ComVariant other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  ~ComVariant() { VariantClear(&value_); }

  const VARIANT& get() const { return value_; }
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }
  // Copies the value into a caller's VARIANT (not cleared first).
  void CopyTo(VARIANT* out) const;

 private:
  VARIANT value_;
};

// An argument that was left out of a call ([optional] VARIANT*).
bool IsMissing(const VARIANT* argument);

// IDispatch of a dual interface, driven by its type information.
HRESULT DispatchGetTypeInfo(REFIID iid, UINT index, ITypeInfo** info);
HRESULT DispatchGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids);
// Invokes `member` on `self` (the dual interface pointer itself). Arguments
// that are references to variants (what a script passes for a variable) are
// passed as the variants they refer to, so that a script variable reaches a
// typed by-reference parameter; every such parameter here is input only.
// Where the standard Invoke would misbehave on a hostile call it is not
// reached: a malformed argument list gives E_INVALIDARG, arguments for the
// default member of an object property that holds no object give VB's error
// 91, and the arguments of a function with a VARIANT parameter are converted
// first, so that a failed conversion keeps no reference to a caller's object.
HRESULT DispatchInvoke(REFIID iid, void* self, DISPID member, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* argument_error);

}  // namespace tavirex::com
