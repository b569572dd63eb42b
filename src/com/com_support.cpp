#include "com/com_support.h"

#include <new>
#include <vector>

#include "com/module.h"
#include "hostenv/win32/text.h"

namespace tavirex::com {
namespace {

void SetVbErrorInfo(REFIID iid, const wchar_t* source, const std::string& description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  create->SetGUID(iid);
  create->SetSource(const_cast<LPOLESTR>(source));
  std::wstring text = WideFromUtf8(description);
  create->SetDescription(text.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
}

// The function the standard Invoke calls for `member` with `flags`: the
// first whose kind is among the flags. Found by walking the functions, as
// Wine's GetFuncIndexOfMemId leaves out the inherited ones that GetFuncDesc
// counts. The caller releases it with ReleaseFuncDesc.
FUNCDESC* FunctionInvoked(ITypeInfo* info, DISPID member, WORD flags) {
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return nullptr;
  const WORD count = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);
  for (WORD index = 0; index < count; ++index) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(index, &function))) continue;
    if (function->memid == member && (function->invkind & flags) != 0) return function;
    info->ReleaseFuncDesc(function);
  }
  return nullptr;
}

bool IsRetval(const ELEMDESC& parameter) {
  return (parameter.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0;
}

// The type a parameter passes, through one pointer.
VARTYPE BaseType(const TYPEDESC& type) { return type.vt == VT_PTR ? type.lptdesc->vt : type.vt; }

// Whether a read of `function` with `arguments` arguments reads an object and
// has more arguments than parameters: the standard Invoke passes them on to
// the object's default member.
bool ArgumentsGoToValue(const FUNCDESC& function, WORD flags, UINT arguments) {
  if ((flags & DISPATCH_PROPERTYGET) == 0 || arguments == 0) return false;
  UINT inputs = 0;
  VARTYPE value = function.elemdescFunc.tdesc.vt;
  for (SHORT i = 0; i < function.cParams; ++i) {
    if (IsRetval(function.lprgelemdescParam[i])) {
      value = BaseType(function.lprgelemdescParam[i].tdesc);
    } else {
      ++inputs;
    }
  }
  return arguments > inputs && (value == VT_DISPATCH || value == VT_UNKNOWN);
}

// The position in `params.rgvarg` of the argument for input parameter
// `index` of `inputs`, or -1 when there is none.
int ArgumentFor(const DISPPARAMS& params, WORD flags, int index, int inputs) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  for (UINT i = 0; i < params.cNamedArgs; ++i) {
    const DISPID name = params.rgdispidNamedArgs[i];
    if (name == index || (put && name == DISPID_PROPERTYPUT && index == inputs - 1)) {
      return static_cast<int>(i);
    }
  }
  const UINT positional = params.cArgs - params.cNamedArgs;
  return static_cast<UINT>(index) < positional ? static_cast<int>(params.cArgs - 1 - index) : -1;
}

// Wine's standard Invoke keeps the reference it took on an object copied for
// a VARIANT parameter when a later argument cannot be converted. So for a
// function with a VARIANT parameter the other arguments are converted here
// first, and such a call fails before that copy is made.
HRESULT CheckConversions(const FUNCDESC& function, WORD flags, const DISPPARAMS& params,
                         UINT* argument_error) {
  int inputs = 0;
  bool takes_variant = false;
  for (SHORT i = 0; i < function.cParams; ++i) {
    if (IsRetval(function.lprgelemdescParam[i])) continue;
    ++inputs;
    takes_variant = takes_variant || BaseType(function.lprgelemdescParam[i].tdesc) == VT_VARIANT;
  }
  if (!takes_variant) return S_OK;
  for (int i = 0; i < inputs; ++i) {
    const ELEMDESC& parameter = function.lprgelemdescParam[i];
    const VARTYPE type = BaseType(parameter.tdesc);
    if (type == VT_VARIANT || type == VT_USERDEFINED) continue;
    const int at = ArgumentFor(params, flags, i, inputs);
    if (at < 0) continue;  // left to the standard Invoke
    const VARIANT& argument = params.rgvarg[at];
    if ((parameter.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0 && IsMissing(&argument)) continue;
    VARIANT plain;
    VARIANT converted;
    VariantInit(&plain);
    VariantInit(&converted);
    HRESULT hr = VariantCopyInd(&plain, Source(argument));
    if (SUCCEEDED(hr)) hr = VariantChangeType(&converted, &plain, 0, type);
    VariantClear(&plain);
    VariantClear(&converted);
    if (FAILED(hr)) {
      if (argument_error != nullptr) *argument_error = static_cast<UINT>(at);
      return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    }
  }
  return S_OK;
}

// VB's error 91 for a call through an object property that holds no object,
// as the standard Invoke reports a failure.
HRESULT ObjectNotSet(EXCEPINFO* exception) {
  if (exception != nullptr) {
    *exception = EXCEPINFO{};
    exception->scode = HresultFromVbNumber(vberr::kObjectNotSet);
    std::wstring text = WideFromUtf8(VbErrorDescription(vberr::kObjectNotSet));
    exception->bstrDescription = SysAllocString(text.c_str());
  }
  return DISP_E_EXCEPTION;
}

}  // namespace

HRESULT HresultFromCurrentException(REFIID iid, const wchar_t* source) noexcept {
  try {
    const VbError failure = CurrentFailure(std::current_exception());
    // No error info: making it would need the memory that ran out.
    if (failure.number() == vberr::kOutOfMemory) return PlainFailure(E_OUTOFMEMORY);
    SetVbErrorInfo(iid, source, failure.description());
    return HresultFromVbNumber(failure.number());
  } catch (...) {  // out of memory while turning the failure into error info
    return PlainFailure(E_OUTOFMEMORY);
  }
}

HRESULT PlainFailure(HRESULT result) {
  SetErrorInfo(0, nullptr);
  return result;
}

void SetBstr(BSTR* out, const std::string& text) { *out = BstrFromUtf8(text); }

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
  // Counts without their arrays, or more names than arguments, would have
  // the arguments read through NULL or past their end.
  if (params != nullptr && ((params->cArgs > 0 && params->rgvarg == nullptr) ||
                            (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) ||
                            params->cNamedArgs > params->cArgs)) {
    return E_INVALIDARG;
  }
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
  FUNCDESC* function = unwrapped.cArgs > 0 ? FunctionInvoked(info, member, flags) : nullptr;
  bool to_value = false;
  if (function != nullptr) {
    hr = CheckConversions(*function, flags, unwrapped, argument_error);
    to_value = SUCCEEDED(hr) && ArgumentsGoToValue(*function, flags, unwrapped.cArgs);
    info->ReleaseFuncDesc(function);
    if (FAILED(hr)) {
      info->Release();
      return hr;
    }
  }
  // The standard Invoke would call that default member through NULL when the
  // property holds no object.
  if (to_value) {
    DISPPARAMS none{};
    VARIANT value;
    VariantInit(&value);
    hr = info->Invoke(self, member, flags, &none, &value, exception, argument_error);
    bool nothing = SUCCEEDED(hr) && (V_VT(&value) == VT_DISPATCH || V_VT(&value) == VT_UNKNOWN) &&
                   V_UNKNOWN(&value) == nullptr;
    VariantClear(&value);
    if (FAILED(hr) || nothing) {
      info->Release();
      return FAILED(hr) ? hr : ObjectNotSet(exception);
    }
  }
  hr = info->Invoke(self, member, flags, &unwrapped, result, exception, argument_error);
  info->Release();
  return hr;
}

}  // namespace tavirex::com
