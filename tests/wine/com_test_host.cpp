// A COM client of tavirex.dll, run under wine64 after registration: the type
// library against the contract, every property, VB errors, and when the DLL
// may unload. "robustness": it tries to break the object: calls from another apartment through the
// universal marshaller; every member of _clsTavirex, from the type library,
// invoked through IDispatch with hostile values, argument counts, names and
// flags, and called through the function table with each pointer NULL and
// with NULL strings; afterwards the host's object and the DLL let go. A crash
// or a hang ends the run with a failure naming the call.
//   com_test_host.exe <Windows path of the registered tavirex.dll> [robustness]
#include <algorithm>
#include <cstring>
#include <cwctype>
#include <limits>
#include <tuple>

#include "com/vba_collection_h.h"
#include "host_support.h"

namespace {

using namespace host;

// One line per function of the table: DISPID, kind, name, then "->" for an
// [out, retval] last parameter and "?" for any other not plain [in].
std::vector<std::string> DumpFunctions(const std::vector<Function>& functions) {
  std::vector<std::string> lines;
  for (const Function& function : functions) {
    const char* kinds[] = {"", "call", "get", "", "put", "", "", "", "putref"};
    std::string line =
        std::to_string(function.id) + " " + kinds[function.kind] + " " + function.name;
    for (const Param& param : function.params) {
      const bool result =
          &param == &function.params.back() && param.flags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
      line += result ? " ->" : param.flags != PARAMFLAG_FIN ? " ?" : "";
    }
    lines.push_back(line);
  }
  return lines;
}

// The same lines from properties.def, each row's DISPID its row number. Types
// need no check: the server's accessors, generated from the same rows,
// compile only against the interface's own.
std::vector<std::string> DefinedFunctions() {
  using Kinds = std::vector<std::string>;
  const Kinds kGetOnly{"get # ->"}, kLetOnly{"put #"}, kGetLet{"get # ->", "put #"},
      kGetSet{"get # ->", "putref #"}, kFunction{"call # ->"}, kSub{"call #"};
  std::vector<std::string> lines;
  int id = 0;
  auto add = [&](const std::string& name, const Kinds& kinds) {
    ++id;
    for (std::string kind : kinds) {
      lines.push_back(std::to_string(id) + " " + kind.replace(kind.find('#'), 1, name));
    }
  };
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) add(#Name, k##Access);
#define TAVIREX_CONSTANT(Name, Kind, Value) add(#Name, kGetOnly);
#define TAVIREX_OPERATION(Name, Form) add(#Name, k##Form);
#include "plugin/properties.def"
  return lines;
}

WORD TypeFlags(ITypeInfo* info, TYPEKIND kind) {
  TYPEATTR* attributes = nullptr;
  if (info == nullptr || FAILED(info->GetTypeAttr(&attributes))) return 0;
  const WORD flags = attributes->typekind == kind ? attributes->wTypeFlags : 0;
  info->ReleaseTypeAttr(attributes);
  return flags;
}

void TypeLibrary(IDispatch* dispatch) {
  ITypeInfo *info = nullptr, *table = nullptr;
  dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  const WORD dual_hidden = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN;
  Check((TypeFlags(info, TKIND_DISPATCH) & dual_hidden) == dual_hidden,
        "_clsTavirex is dual and hidden");
  const std::vector<std::string> dumped = DumpFunctions(FunctionsOf(dispatch, &table));
  Check(TypeFlags(table, TKIND_INTERFACE) & TYPEFLAG_FOLEAUTOMATION,
        "its function table is OLE Automation compatible");
  const std::vector<std::string> contract = DefinedFunctions();
  const auto [have, want] =
      std::mismatch(dumped.begin(), dumped.end(), contract.begin(), contract.end());
  Check(have == dumped.end() && want == contract.end(),
        "the function table in the contract's order: " + (have != dumped.end() ? *have : "end") +
            ", expected " + (want != contract.end() ? *want : "end"));
  if (table != nullptr) table->Release();
  ITypeLib* library = nullptr;
  UINT index = 0;
  if (info != nullptr && SUCCEEDED(info->GetContainingTypeLib(&library, &index))) {
    ITypeInfo* class_info = nullptr;
    library->GetTypeInfoOfGuid(CLSID_clsTavirex, &class_info);
    Check(TypeFlags(class_info, TKIND_COCLASS) & TYPEFLAG_FCANCREATE, "clsTavirex is creatable");
    if (class_info != nullptr) class_info->Release();
    // The enumeration hosts see in their object browsers.
    ITypeInfo* eye = nullptr;
    MEMBERID member = 0;
    USHORT found = 1;
    wchar_t eye_name[] = L"EyeSide";
    library->FindName(eye_name, 0, &eye, &member, &found);
    std::string values;
    VARDESC* value = nullptr;
    for (UINT i = 0; found == 1 && SUCCEEDED(eye->GetVarDesc(i, &value)); ++i) {
      Bstr name;
      eye->GetDocumentation(value->memid, name.out(), nullptr, nullptr, nullptr);
      values += name.text() + "=" + std::to_string(V_I4(value->lpvarValue)) + " ";
      eye->ReleaseVarDesc(value);
    }
    CheckEqual(values, "RightOD=0 LeftOS=1 BothOU=2 ", "EyeSide's values");
    if (found == 1) eye->Release();
    library->Release();
  }
  if (info != nullptr) info->Release();
}

// Every property with a Get and a Let or Set, from the type library: each Let
// through the function table a value no other gets (the caller's variable
// untouched), each Get back through IDispatch by its name in lower case; then
// each Let through IDispatch as a script passes a variable, of a NULL string,
// zero or Nothing, each Get back through the function table.

void PropertySweep(_clsTavirex* object, IDispatch* dispatch) {
  const std::vector<Function> functions = FunctionsOf(dispatch);
  struct Property {
    const Function* get;
    const Function* put;
    VARIANT value;
  };
  std::vector<Property> properties;
  for (const Function& get : functions) {
    const Function* put = Find(functions, get.id, INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
    if (get.kind == INVOKE_PROPERTYGET && put != nullptr) properties.push_back({&get, put, {}});
  }

  std::vector<CountedObject> hosts(properties.size());
  for (std::size_t i = 0; i < properties.size(); ++i) {
    const std::string& name = properties[i].get->name;
    const Param& param = properties[i].put->params[0];
    // Text in Greek, Polish, Japanese, a surrogate pair and a lone surrogate;
    // a number also as the bits of a boolean, which are kept whatever they are.
    const std::wstring text = Wide(name) + L" Ωε łódź 東京 😀 " + L"\xDC00";
    VARIANT& value = properties[i].value =
        Variant(param.base, param.base == VT_BSTR       ? Bits(SysAllocString(text.c_str()))
                            : param.base == VT_DISPATCH ? Bits(&hosts[i])
                                                        : 100003 * i + 2);
    const VARIANT before = value;
    const std::wstring before_text = Show(value);
    const bool by_ref = param.vt == VT_PTR;
    CheckHr(CallTable(object, properties[i].put->offset,
                      {by_ref ? Bits(&V_BSTR(&value)) : V_UI8(&value)}),
            S_OK, name + ": Let through the function table");
    Check(V_UI8(&value) == V_UI8(&before) && Show(value) == before_text,
          name + ": the caller's variable after the Let");
  }
  for (std::size_t i = 0; i < properties.size(); ++i) {
    const Property& property = properties[i];
    std::wstring lower = Wide(property.get->name);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    const DISPID id = IdOf(dispatch, lower.c_str());
    VARIANT got;
    HRESULT hr = Invoke(dispatch, id, DISPATCH_PROPERTYGET, {}, &got);
    Check(hr == S_OK && id == property.get->id && Show(got) == Show(property.value),
          property.get->name + ": Get through IDispatch: " + Hex(hr) + " " + Narrow(Show(got)) +
              ", expected " + Narrow(Show(property.value)));
    VariantClear(&got);
    const bool object_field = V_VT(&property.value) == VT_DISPATCH;
    Check(hosts[i].references() == (object_field ? 2 : 1),
          property.get->name + " holds one reference");
  }

  for (std::size_t i = 0; i < properties.size(); ++i) {
    const Property& property = properties[i];
    VARIANT variable = Variant(V_VT(&property.value)), got = variable;
    const VARIANT reference = Variant(VT_BYREF | VT_VARIANT, Bits(&variable));
    const bool set = property.put->kind == INVOKE_PROPERTYPUTREF;
    CheckHr(Invoke(dispatch, property.get->id, set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT,
                   {reference}, nullptr),
            S_OK, property.get->name + ": Let of a NULL string, zero or Nothing through IDispatch");
    Check(V_VT(&variable) == V_VT(&got) && V_UI8(&variable) == 0,
          property.get->name + ": the script's variable after the Let");
    HRESULT hr = CallTable(object, property.get->offset, {Bits(&V_BSTR(&got))});
    Check(hr == S_OK && Show(got) == (V_VT(&got) == VT_BSTR ? L"\"\"" : Show(variable)),
          property.get->name + ": Get through the function table: " + Hex(hr) + " " +
              Narrow(Show(got)));
    VariantClear(&got);
    if (V_VT(&property.value) == VT_BSTR) VariantClear(&properties[i].value);
    Check(hosts[i].references() == 1, property.get->name + " gave its object back");
  }
}

// A failure reaches the host as VB's error number in an HRESULT with error
// information (through IDispatch, in the EXCEPINFO: the robustness run's
// other apartment).

void VbErrors(_clsTavirex* object) {
  VARIANT null_name = Variant(VT_NULL);
  Bstr store(L"C:\\store"), result, description, source;
  BSTR folder = store.value;
  CheckHr(object->ParseFileName(&null_name, &folder, result.out()), HRESULT(0x800A005E),
          "ParseFileName(Null) through the function table");
  IErrorInfo* error = nullptr;
  CheckHr(GetErrorInfo(0, &error), S_OK, "its error information");
  if (error != nullptr) {
    error->GetDescription(description.out());
    error->GetSource(source.out());
    error->Release();
  }
  CheckEqual(description.text() + "|" + source.text(), "Invalid use of Null|Tavirex.clsTavirex",
             "its description and source");
  ISupportErrorInfo* supports = nullptr;
  object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports));
  Check(supports != nullptr && supports->InterfaceSupportsErrorInfo(IID__clsTavirex) == S_OK,
        "ISupportErrorInfo for _clsTavirex");
  if (supports != nullptr) supports->Release();
}

// DllCanUnloadNow counts every live object and every lock (S_OK once all are
// gone: the last check of main).
void Unloading(const std::wstring& dll_path) {
  HMODULE dll = LoadLibraryW(dll_path.c_str());
  auto get_class_object = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  if (get_class_object == nullptr) return Check(false, "DllGetClassObject exported");
  IClassFactory* factory = nullptr;
  CheckHr(get_class_object(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          CLASS_E_CLASSNOTAVAILABLE, "a class object of an unknown class");
  get_class_object(CLSID_clsTavirex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (factory == nullptr) return Check(false, "a class object");
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with a class object alive");
  factory->LockServer(TRUE);
  factory->Release();
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow while locked");
  get_class_object(CLSID_clsTavirex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  _clsTavirex* object = nullptr;
  CheckHr(factory->CreateInstance(factory, IID_IUnknown, reinterpret_cast<void**>(&object)),
          CLASS_E_NOAGGREGATION, "no aggregation");
  factory->CreateInstance(nullptr, IID__clsTavirex, reinterpret_cast<void**>(&object));
  factory->Release();
  if (object == nullptr) return Check(false, "an object from the class object");
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with an object alive");
  // The collection as a host calls it whose variable is As Collection.
  IDispatch* names = nullptr;
  _Collection* collection = nullptr;
  IUnknown* enumerator = nullptr;
  object->get_DeviceNames(&names);
  object->Release();
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with a collection alive");
  if (names != nullptr)
    names->QueryInterface(IID__Collection, reinterpret_cast<void**>(&collection));
  if (names != nullptr) names->Release();
  if (collection == nullptr) return Check(false, "DeviceNames as a _Collection");
  // An early-bound client calls it by the VB runtime's DISPIDs, never by name:
  // each is the one its name maps to, which collection.vbs calls.
  std::string ids;
  for (const wchar_t* name : {L"Item", L"Add", L"Count", L"Remove", L"_NewEnum"}) {
    ids += std::to_string(IdOf(collection, name)) + " ";
  }
  CheckEqual(ids, "0 1 2 3 -4 ", "_Collection's DISPIDs");
  // Its Count and items are collection.vbs's.
  collection->_NewEnum(&enumerator);
  collection->Release();
  if (enumerator == nullptr) return Check(false, "_Collection's enumerator");
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with an enumerator alive");
  enumerator->Release();
  FreeLibrary(dll);
}

// ---------------------------------------------------------------------------
// An object called from another apartment while its own pumps messages.
void Apartments(_clsTavirex* object, IDispatch* dispatch) {
  Doing("two apartments");
  IStream* stream = nullptr;
  CheckHr(CoMarshalInterThreadInterfaceInStream(IID__clsTavirex, object, &stream), S_OK,
          "marshalling _clsTavirex");
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    _clsTavirex* proxy = nullptr;
    CoGetInterfaceAndReleaseStream(stream, IID__clsTavirex, reinterpret_cast<void**>(&proxy));
    IDispatch* dispatch = proxy != nullptr ? DispatchOf(proxy) : nullptr;
    Check(dispatch != nullptr, "the object of the other apartment through a proxy");
    if (dispatch != nullptr) {
      Bstr store(L"C:\\store");
      VARIANT out;
      EXCEPINFO exception{};
      const HRESULT hr =
          Invoke(dispatch, IdOf(dispatch, L"ParseFileName"), DISPATCH_METHOD,
                 {Variant(VT_NULL), Variant(VT_BSTR, Bits(store.value))}, &out, &exception);
      CheckEqual(Hex(hr) + " " + Hex(exception.scode) + " " + Narrow(exception.bstrDescription) +
                     "|" + Narrow(exception.bstrSource),
                 "0x80020009 0x800A005E Invalid use of Null|Tavirex.clsTavirex",
                 "ParseFileName(Null) across apartments, as a script's Err sees it");
      Clear(exception);
      VariantClear(&out);
      SetText(proxy, &_clsTavirex::put_PATIENTID, L"FROM THE OTHER APARTMENT");
      dispatch->Release();
      proxy->Release();
    }
    CoUninitialize();
    SetEvent(done);
  });
  int dispatched = 0;
  while (MsgWaitForMultipleObjects(1, &done, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++dispatched) {
      DispatchMessageW(&message);
    }
  }
  other.join();
  CloseHandle(done);
  Check(dispatched > 0, "the owner served the calls from its message loop");
  CheckEqual(CallText(dispatch, L"PATIENTID"), "FROM THE OTHER APARTMENT", "the other's Let");
}

// Hostile calls through IDispatch: every answer S_OK, a dispatch error,
// E_INVALIDARG for a malformed DISPPARAMS, or DISP_E_EXCEPTION with a VB error
// and its text; no call changes an argument or keeps a reference.
struct Named {
  std::string name;
  VARIANT value;
};

// Each plain value, a reference to it and a variant reference to it.
struct HostileValues {
  std::vector<Named> plain, all;
  VARIANT inner{};  // a reference that a variant reference points to

  explicit HostileValues(IDispatch* host) {
    auto bits = [](const auto& value) {
      ULONGLONG result = 0;
      std::memcpy(&result, &value, sizeof value);
      return result;
    };
    host->AddRef();  // for the two values that hold it
    host->AddRef();
    const std::tuple<const char*, VARTYPE, ULONGLONG> table[] = {
        {"NULL BSTR", VT_BSTR, 0},
        {"empty BSTR", VT_BSTR, bits(SysAllocString(L""))},
        {"\"O'Brien\"", VT_BSTR, bits(SysAllocString(L"O'Brien"))},
        {"Empty", VT_EMPTY, 0},
        {"Null", VT_NULL, 0},
        {"I2 -7", VT_I2, 0xFFF9},
        {"I4 2147483647", VT_I4, 2147483647},
        {"R8 NaN", VT_R8, bits(std::numeric_limits<double>::quiet_NaN())},
        {"R8 1e300", VT_R8, bits(1e300)},
        {"R8 -2.5", VT_R8, bits(-2.5)},
        {"True", VT_BOOL, 0xFFFF},
        {"DATE", VT_DATE, bits(45000.25)},
        {"host object", VT_DISPATCH, bits(host)},
        {"Nothing", VT_DISPATCH, 0},
        {"IUnknown", VT_UNKNOWN, bits(host)},
        {"missing", VT_ERROR, static_cast<ULONG>(DISP_E_PARAMNOTFOUND)},
        {"array", VT_ARRAY | VT_I4, bits(SafeArrayCreateVector(VT_I4, 0, 3))},
    };
    plain.reserve(std::size(table));
    for (const auto& [name, type, value] : table) plain.push_back({name, Variant(type, value)});
    all = plain;
    for (Named& value : plain) {
      const VARTYPE type = V_VT(&value.value);
      if (type != VT_EMPTY && type != VT_NULL) {
        all.push_back(
            {"ByRef " + value.name, Variant(type | VT_BYREF, Bits(&V_BSTR(&value.value)))});
      }
      all.push_back(
          {"ByRef Variant " + value.name, Variant(VT_BYREF | VT_VARIANT, Bits(&value.value))});
    }
    inner = Variant(VT_BYREF | VT_BSTR, Bits(&V_BSTR(&plain[2].value)));
    all.push_back({"ByRef Variant ByRef BSTR", Variant(VT_BYREF | VT_VARIANT, Bits(&inner))});
  }
  ~HostileValues() {
    for (Named& value : plain) VariantClear(&value.value);
  }
  // Every plain value, exactly, and where the reference to a reference points.
  std::wstring State() const {
    std::wstring state = std::to_wstring(V_UI8(&inner));
    for (const Named& value : plain) {
      state += L" " + Show(value.value) + L"," + std::to_wstring(V_UI8(&value.value));
    }
    return state;
  }
};

enum Form { kWellFormed, kNoArgumentArray, kNoNameArray, kMoreNamesThanArguments, kNoOutputs };

struct Shape {
  std::string name;
  std::vector<VARIANT> arguments;  // in call order
  std::vector<DISPID> names;       // of the last arguments, last first
  Form form = kWellFormed;
};

std::vector<Shape> ShapesFor(const HostileValues& values, int inputs, WORD flags) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const int count = std::max(put ? 1 : inputs, 1);
  const std::vector<DISPID> put_name(put ? 1 : 0, DISPID_PROPERTYPUT);
  auto repeat = [](const VARIANT& value, int n) { return std::vector<VARIANT>(n, value); };
  const VARIANT& text = values.plain[2].value;
  std::vector<Shape> shapes{{"no arguments", {}, {}}};
  for (const Named& value : values.all) {
    shapes.push_back({value.name, repeat(value.value, count), put_name});
  }
  VARIANT empty{};
  shapes.push_back({"one too many", repeat(text, count + 1), put_name});
  shapes.push_back({"one too many Empty", repeat(empty, count + 1), put_name});
  shapes.push_back({"one too few", repeat(text, count - 1), {}});
  shapes.push_back({"named first parameter", repeat(text, 1), {0}});
  shapes.push_back({"named unknown parameter", repeat(text, 1), {77}});
  shapes.push_back({"two names", repeat(text, 2), {DISPID_PROPERTYPUT, 0}});
  shapes.push_back({"no name for the put", repeat(text, 1), {}});
  shapes.push_back({"no argument array", repeat(text, 1), {}, kNoArgumentArray});
  shapes.push_back({"no name array", repeat(text, 1), {0}, kNoNameArray});
  shapes.push_back({"more names than arguments",
                    repeat(text, 1),
                    {DISPID_PROPERTYPUT, 0},
                    kMoreNamesThanArguments});
  shapes.push_back({"no outputs, text", repeat(text, count), put_name, kNoOutputs});
  shapes.push_back(
      {"no outputs, host object", repeat(values.plain[12].value, count), put_name, kNoOutputs});
  return shapes;
}

// "" when `hr` and what came with it are a proper answer, else what is wrong.
std::string Judge(HRESULT hr, EXCEPINFO& exception, const VARIANT& result, Form form) {
  if (hr == S_OK) return V_VT(&result) == VT_BSTR && V_BSTR(&result) == nullptr ? "NULL text" : "";
  if (hr == DISP_E_EXCEPTION && form != kNoOutputs) {
    if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
    const bool vb = (static_cast<ULONG>(exception.scode) & 0xFFFF0000) == 0x800A0000;
    return vb && SysStringLen(exception.bstrDescription) > 0
               ? ""
               : "DISP_E_EXCEPTION " + Hex(exception.scode) + " " +
                     Narrow(exception.bstrDescription);
  }
  if (hr == DISP_E_EXCEPTION || HRESULT_FACILITY(hr) == FACILITY_DISPATCH) return "";
  const bool malformed = form != kWellFormed && form != kNoOutputs;
  return hr == E_INVALIDARG && malformed ? "" : "HRESULT " + Hex(hr);
}

// The workflows, which take no arguments, are left to the workflow host.
bool IsWorkflow(const Function& function) {
  return function.name == "CaptureDevice" || function.name == "ReviewDevice" ||
         function.name == "DoDeviceFunction";
}

void HostileDispatch(Watcher& watcher, _clsTavirex* object, IDispatch* dispatch) {
  CountedObject host;
  const std::vector<Function> functions = FunctionsOf(dispatch);
  int calls = 0;
  {
    HostileValues values(&host);
    const std::wstring state = values.State();
    std::vector<MEMBERID> done;
    for (const Function& function : functions) {
      if (IsWorkflow(function) || std::find(done.begin(), done.end(), function.id) != done.end()) {
        continue;
      }
      done.push_back(function.id);
      const Function* method = Find(functions, function.id, INVOKE_FUNC);
      int inputs = 0;
      for (const Param& param : method != nullptr ? method->params : std::vector<Param>{}) {
        inputs += (param.flags & PARAMFLAG_FRETVAL) == 0;
      }
      std::string wrong;
      for (WORD flags :
           {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
            DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF}) {
        for (Shape& shape : ShapesFor(values, inputs, flags)) {
          const std::string call =
              function.name + " flags " + std::to_string(flags) + " with " + shape.name;
          std::vector<VARIANT> reversed(shape.arguments.rbegin(), shape.arguments.rend());
          DISPPARAMS params{reversed.data(), shape.names.data(), static_cast<UINT>(reversed.size()),
                            static_cast<UINT>(shape.names.size())};
          if (shape.form == kNoArgumentArray) params.rgvarg = nullptr;
          if (shape.form == kNoNameArray) params.rgdispidNamedArgs = nullptr;
          const bool outputs = shape.form != kNoOutputs;
          VARIANT result{};
          EXCEPINFO exception{};
          UINT argument_error = 0;
          Doing(call);
          HRESULT hr = dispatch->Invoke(function.id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                        outputs ? &result : nullptr, outputs ? &exception : nullptr,
                                        outputs ? &argument_error : nullptr);
          ++calls;
          std::string why = Judge(hr, exception, result, shape.form);
          if (why.empty() && values.State() != state) why = "an argument changed";
          VariantClear(&result);
          Clear(exception);
          const std::vector<Seen> seen = watcher.Take();
          if (why.empty() && !seen.empty()) why = "it showed " + Describe(seen[0]);
          if (!why.empty() && wrong.empty()) wrong = call + ": " + why;
        }
      }
      // Every reference the calls took is given back once the fields let go.
      for (const Function& field : functions) {
        if (field.kind == INVOKE_PROPERTYPUTREF) {
          Invoke(dispatch, field.id, DISPATCH_PROPERTYPUTREF, {Variant(VT_DISPATCH)}, nullptr);
        }
      }
      if (wrong.empty() && host.references() != 3) {
        wrong = "the host object has " + std::to_string(host.references()) + " references, not 3";
      }
      Check(wrong.empty(), function.name + ": " + wrong);
    }
  }
  Check(calls > 10000, std::to_string(calls) + " hostile calls");
  SetText(object, &_clsTavirex::put_PATIENTID, L"AFTER");
  CheckEqual(CallText(dispatch, L"PATIENTID"), "AFTER", "PATIENTID after the hostile calls");
  Check(host.references() == 1, "every reference to the host object given back");
}

// Through the function table each pointer parameter NULL in turn gives
// E_POINTER and no error information; NULL strings give what "" gives.
// `function` gets pointers to zeroed slots (strings NULL or "", booleans
// TRUE), but parameter `null_param` NULL; returns the HRESULT and outputs.
std::wstring CallWith(_clsTavirex* object, const Function& function, int null_param,
                      bool null_strings) {
  std::vector<VARIANT> slots(function.params.size());
  std::vector<ULONG_PTR> words;
  for (std::size_t p = 0; p < slots.size(); ++p) {
    const Param& param = function.params[p];
    VARIANT& slot = slots[p];
    const bool input = (param.flags & PARAMFLAG_FOUT) == 0;
    if (input && param.base == VT_BSTR && !null_strings) V_BSTR(&slot) = SysAllocString(L"");
    if (input && param.base == VT_BOOL) V_BOOL(&slot) = VARIANT_TRUE;
    void* target = param.base == VT_VARIANT ? static_cast<void*>(&slot) : &V_BSTR(&slot);
    words.push_back(param.vt != VT_PTR                  ? V_UI8(&slot)
                    : static_cast<int>(p) == null_param ? 0
                                                        : reinterpret_cast<ULONG_PTR>(target));
  }
  std::wstring outcome = Wide(Hex(CallTable(object, function.offset, words)));
  for (std::size_t p = 0; p < slots.size(); ++p) {
    const Param& param = function.params[p];
    if (param.base != VT_VARIANT) V_VT(&slots[p]) = param.base;
    if (param.flags & PARAMFLAG_FOUT) outcome += L" " + Show(slots[p]);
    VariantClear(&slots[p]);
  }
  return outcome;
}

void FunctionTable(_clsTavirex* object) {
  int null_pointers = 0;
  for (const Function& function : FunctionsOf(object)) {
    bool string_input = false;
    for (std::size_t p = 0; p < function.params.size(); ++p) {
      const Param& param = function.params[p];
      string_input = string_input || (param.base == VT_BSTR && !(param.flags & PARAMFLAG_FOUT));
      if (param.vt != VT_PTR) continue;
      // An earlier failure's error information, which an E_POINTER clears.
      VARIANT null_name = Variant(VT_NULL);
      Bstr parsed;
      BSTR folder = nullptr;
      object->ParseFileName(&null_name, &folder, parsed.out());
      IErrorInfo* left = nullptr;
      Doing(function.name + " with parameter " + std::to_string(p) + " NULL");
      const std::string outcome = Narrow(CallWith(object, function, static_cast<int>(p), false));
      ++null_pointers;
      HRESULT hr = GetErrorInfo(0, &left);
      if (left != nullptr) left->Release();
      CheckEqual(
          outcome.substr(0, 10) + " " + Hex(hr), Hex(E_POINTER) + " " + Hex(S_FALSE),
          function.name + " with parameter " + std::to_string(p) + " NULL, and error information");
    }
    if (!string_input || IsWorkflow(function)) continue;
    Doing(function.name + " with NULL strings");
    CheckEqual(Narrow(CallWith(object, function, -1, true)),
               Narrow(CallWith(object, function, -1, false)),
               function.name + " with NULL strings, against \"\"");
  }
  Check(null_pointers > 100, "NULL pointers tried: " + std::to_string(null_pointers));
}

}  // namespace

// What Explorer's file properties and self-registering setups read.
void VersionResource(const std::wstring& dll_path) {
  std::vector<char> data(GetFileVersionInfoSizeW(dll_path.c_str(), nullptr));
  const bool read =
      !data.empty() && GetFileVersionInfoW(dll_path.c_str(), 0, data.size(), data.data());
  std::string found;
  for (const wchar_t* name :
       {L"CompanyName", L"ProductName", L"FileVersion", L"OriginalFilename", L"OLESelfRegister"}) {
    void* value = nullptr;
    UINT length = 0;
    const bool has =
        read &&
        VerQueryValueW(data.data(), (L"\\StringFileInfo\\040904B0\\" + std::wstring(name)).c_str(),
                       &value, &length);
    found += Narrow(name) + "=" +
             (!has          ? "<none>"
              : length == 0 ? ""
                            : Narrow(static_cast<const wchar_t*>(value))) +
             " ";
  }
  CheckEqual(found,
             "CompanyName=Tavirex ProductName=Tavirex FileVersion=" TAVIREX_EXPECTED_VERSION
             " OriginalFilename=tavirex.dll OLESelfRegister= ",
             "the version resource");
}

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[2] : "";
  if (argc < 2 || argc > 3 || (argc == 3 && mode != "robustness")) {
    std::printf("usage: com_test_host <path of tavirex.dll> [robustness]\n");
    return 2;
  }
  const std::wstring dll_path = Wide(argv[1]);
  StartHost();
  {
    Watcher watcher(mode == "robustness" ? 30 : 60);
    WriteWindowsIni("praxo32.ini",
                    {"[System]", "PgmsDir=C:\\TavirexHost", "DataDir=C:\\TavirexHost\\Data"});
    if (_clsTavirex* object = CreateTavirex()) {
      IDispatch* dispatch = DispatchOf(object);
      if (mode == "robustness") {
        HostileDispatch(watcher, object, dispatch);
        Apartments(object, dispatch);
        FunctionTable(object);
      } else {
        TypeLibrary(dispatch);
        PropertySweep(object, dispatch);
        VbErrors(object);
      }
      dispatch->Release();
      object->Release();
    }
    if (mode.empty()) {
      Unloading(dll_path);
      VersionResource(dll_path);
    }
    watcher.CheckNothingShown("the calls");
    CheckHr(CanUnloadNow(), S_OK, "DllCanUnloadNow after all the calls");
    Doing("finishing");
  }
  return FinishHost();
}
