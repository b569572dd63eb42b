#include "com/com_support.h"

#include <new>
#include <vector>

#include "com/module.h"
#include "hostenv/win32/ansi.h"

namespace tavirex::com {
namespace {

constexpr int kAutomationError = 440;

void SetVbErrorInfo(REFIID iid, const wchar_t* source, const std::string& description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  create->SetGUID(iid);
  create->SetSource(const_cast<LPOLESTR>(source));
  std::wstring text = WideFromAnsi(description);
  create->SetDescription(text.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
}

}  // namespace

HRESULT HresultFromVbErrorNumber(int number) {
  if (number < 0) return static_cast<HRESULT>(number);
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFF);
}

HRESULT HresultFromCurrentException(REFIID iid, const wchar_t* source) noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return PlainFailure(E_OUTOFMEMORY);
  } catch (const VbError& failure) {
    try {
      SetVbErrorInfo(iid, source, failure.description());
    } catch (...) {
      return PlainFailure(E_OUTOFMEMORY);
    }
    return HresultFromVbErrorNumber(failure.number());
  } catch (const std::exception& failure) {
    try {
      SetVbErrorInfo(iid, source, failure.what());
    } catch (...) {
      return PlainFailure(E_OUTOFMEMORY);
    }
    return HresultFromVbErrorNumber(kAutomationError);
  } catch (...) {
    return PlainFailure(E_UNEXPECTED);
  }
}

HRESULT PlainFailure(HRESULT result) {
  SetErrorInfo(0, nullptr);
  return result;
}

void SetBstr(BSTR* out, const std::string& text) { *out = BstrFromAnsi(text); }

ComVariant::ComVariant(const VARIANT& source) {
  VariantInit(&value_);
  HRESULT hr = VariantCopyInd(&value_, Source(source));
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(hr)) throw VbError(vberr::kTypeMismatch);
}

ComVariant::ComVariant(const ComVariant& other) {
  VariantInit(&value_);
  other.CopyTo(&value_);
}

void ComVariant::CopyTo(VARIANT* out) const {
  VariantInit(out);
  HRESULT hr = VariantCopy(out, Source(value_));
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(hr)) throw VbError(vberr::kTypeMismatch);
}

bool IsMissing(const VARIANT* argument) {
  return argument == nullptr ||
         (V_VT(argument) == VT_ERROR && V_ERROR(argument) == DISP_E_PARAMNOTFOUND);
}

std::optional<std::string> TextOfVariant(const VARIANT& value) {
  ComVariant plain(value);
  switch (V_VT(&plain.get())) {
    case VT_NULL:
      return std::nullopt;
    case VT_EMPTY:
      return std::string();
    case VT_BSTR:
      return AnsiFromBstr(V_BSTR(&plain.get()));
    default:
      break;
  }
  ComVariant text;
  HRESULT hr = VariantChangeType(text.put(), Source(plain.get()), VARIANT_ALPHABOOL, VT_BSTR);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(hr)) throw VbError(vberr::kTypeMismatch);
  return AnsiFromBstr(V_BSTR(&text.get()));
}

HRESULT DispatchGetTypeInfo(REFIID iid, UINT index, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return GetTypeInfoOf(iid, info);
}

HRESULT DispatchGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) {
  ITypeInfo* info = nullptr;
  HRESULT hr = GetTypeInfoOf(iid, &info);
  if (FAILED(hr)) return hr;
  hr = info->GetIDsOfNames(names, count, ids);
  info->Release();
  return hr;
}

HRESULT DispatchInvoke(REFIID iid, void* self, DISPID member, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* argument_error) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = GetTypeInfoOf(iid, &info);
  if (FAILED(hr)) return hr;

  // Shallow copies: the arguments still belong to the caller.
  DISPPARAMS unwrapped = params != nullptr ? *params : DISPPARAMS{};
  std::vector<VARIANTARG> arguments;
  if (params != nullptr && params->cArgs > 0) {
    try {
      arguments.assign(params->rgvarg, params->rgvarg + params->cArgs);
    } catch (const std::bad_alloc&) {
      info->Release();
      return E_OUTOFMEMORY;
    }
    for (VARIANTARG& argument : arguments) {
      if (V_VT(&argument) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&argument) != nullptr &&
          (V_VT(V_VARIANTREF(&argument)) & VT_BYREF) == 0) {
        argument = *V_VARIANTREF(&argument);
      }
    }
    unwrapped.rgvarg = arguments.data();
  }
  hr = info->Invoke(self, member, flags, &unwrapped, result, exception, argument_error);
  info->Release();
  return hr;
}

}  // namespace tavirex::com
