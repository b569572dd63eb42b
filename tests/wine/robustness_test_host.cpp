// A COM client of tavirex.dll that tries to break it, run under wine64 after
// registration: an object called from another apartment through the universal
// marshaller; every member of _clsTavirex, from the type library, invoked
// through IDispatch with hostile values, argument counts, names and flags, and
// called through the function table with each pointer NULL and with NULL
// strings; afterwards the host's object and the DLL let go. Writes praxo32.ini;
// a crash or a hang ends the run with a failure naming the call.
//   robustness_test_host.exe <Windows path of the registered tavirex.dll>
#include <algorithm>
#include <cstring>
#include <limits>
#include <tuple>

#include "host_support.h"

namespace {

using namespace host;

// An object called from another apartment while its own pumps messages.
void Apartments() {
  Doing("two apartments");
  _clsTavirex* object = CreateTavirex();
  IStream* stream = nullptr;
  if (object == nullptr) return;
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
      CheckEqual(ParseNullByName(dispatch), kInvalidUseOfNull,
                 "ParseFileName(Null) across apartments");
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
  IDispatch* dispatch = DispatchOf(object);
  CheckEqual(CallText(dispatch, L"PATIENTID"), "FROM THE OTHER APARTMENT", "the other's Let");
  dispatch->Release();
  object->Release();
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

void HostileDispatch(Watcher& watcher) {
  CountedObject host;
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
  IDispatch* dispatch = DispatchOf(object);
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
  dispatch->Release();
  object->Release();
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

void FunctionTable() {
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
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
  object->Release();
}

}  // namespace

int main(int argc, char**) {
  if (argc < 2) {
    std::printf("usage: robustness_test_host <path of tavirex.dll>\n");
    return 2;
  }
  WriteWindowsIni("praxo32.ini",
                  {"[System]", "PgmsDir=C:\\TavirexRobust", "DataDir=C:\\TavirexRobust\\"});
  StartHost();
  {
    Watcher watcher(30);
    Apartments();
    HostileDispatch(watcher);
    FunctionTable();
    watcher.CheckNothingShown("the calls");
    CheckHr(CanUnloadNow(), S_OK, "DllCanUnloadNow after all the calls");
    Doing("finishing");
  }
  return FinishHost();
}
