#include "hostenv/win32/late_bound.h"

#include <new>

#include "hostenv/win32/text.h"
#include "hostenv/win32/win32_platform.h"

namespace tavirex {

Variant::Variant(const Variant& other) {
  VariantInit(&value_);
  const HRESULT result = VariantCopy(&value_, const_cast<VARIANT*>(&other.value_));
  if (FAILED(result)) throw VbErrorFromHresult(result);
}

std::optional<std::string> TextOfVariant(const VARIANT& value) {
  Variant plain, text;
  HRESULT result = VariantCopyInd(&plain.get(), const_cast<VARIANT*>(&value));
  if (SUCCEEDED(result)) {
    switch (V_VT(&plain.get())) {
      case VT_NULL:
        return std::nullopt;
      case VT_EMPTY:
        return std::string();
      case VT_BSTR:
        return Utf8FromBstr(V_BSTR(&plain.get()));
      default:
        result = VariantChangeType(&text.get(), &plain.get(), VARIANT_ALPHABOOL, VT_BSTR);
    }
  }
  if (result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(result)) throw VbError(vberr::kTypeMismatch);
  return Utf8FromBstr(V_BSTR(&text.get()));
}

Variant Variant::Text(const std::string& text) {
  Variant variant;
  V_VT(&variant.value_) = VT_BSTR;
  V_BSTR(&variant.value_) = BstrFromUtf8(text);
  return variant;
}

Variant Variant::Bool(short value) {
  Variant variant;
  V_VT(&variant.value_) = VT_BOOL;
  V_BOOL(&variant.value_) = value;
  return variant;
}

Variant Variant::Long(long value) {
  Variant variant;
  V_VT(&variant.value_) = VT_I4;
  V_I4(&variant.value_) = value;
  return variant;
}

LateBoundObject LateBoundObject::Create(const std::string& prog_id_or_clsid) {
  const std::wstring name = WideFromUtf8(prog_id_or_clsid);
  CLSID clsid{};
  const HRESULT found = !name.empty() && name.front() == L'{'
                            ? CLSIDFromString(name.c_str(), &clsid)
                            : CLSIDFromProgID(name.c_str(), &clsid);
  IDispatch* object = nullptr;
  if (FAILED(found) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object))) ||
      object == nullptr) {
    throw VbError(vberr::kCantCreateObject);
  }
  return LateBoundObject(object);
}

LateBoundObject::~LateBoundObject() {
  if (object_ != nullptr) object_->Release();
}

Variant LateBoundObject::Invoke(const std::string& name, WORD flags,
                                const std::vector<Variant>& arguments) {
  std::wstring wide = WideFromUtf8(name);
  LPOLESTR names[] = {wide.data()};
  DISPID member = DISPID_UNKNOWN;
  HRESULT result = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member);
  if (FAILED(result)) throw VbErrorFromHresult(result);

  // IDispatch takes the arguments last first.
  std::vector<VARIANT> reversed;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(it->get());
  DISPPARAMS parameters = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  DISPID put = DISPID_PROPERTYPUT;
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
    parameters.rgdispidNamedArgs = &put;
    parameters.cNamedArgs = 1;
  }
  Variant answer;
  EXCEPINFO exception = {};
  UINT bad_argument = 0;
  result = object_->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, &answer.get(),
                           &exception, &bad_argument);
  if (SUCCEEDED(result)) return answer;
  std::string description;
  if (result == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
    if (exception.scode != 0) {
      result = exception.scode;
    } else if (exception.wCode != 0) {
      result = HresultFromVbNumber(exception.wCode);
    }
    description = Utf8FromBstr(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  throw VbErrorFromHresult(result, description);
}

}  // namespace tavirex
