// A COM client of tavirex.dll that tries to break it, run under wine64 after
// registration:
//   - two single-threaded apartments create their first objects at once (the
//     start-up runs once), and one calls an object of the other through the
//     universal marshaller while the owner pumps messages;
//   - every member of _clsTavirex, enumerated from the type library, invoked
//     through IDispatch with hostile values, argument counts, named arguments
//     and invoke flags, and called through the function table with each
//     pointer NULL and with NULL strings;
//   - objects created, used and released: every reference to the host's
//     object given back, and the DLL free to unload.
//   robustness_test_host.exe <Windows path of the registered tavirex.dll>
// Writes praxo32.ini into the Windows folder and its folders under
// C:\TavirexRobust. A crash or a call that hangs ends the run with a failure
// naming the call.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>

#include "host_support.h"

namespace {

using namespace host;

const wchar_t kDrop[] = L"C:\\TavirexRobust\\Drop";

void WriteQuietHostIni() {
  WriteWindowsIni("praxo32.ini", {"[System]", "PgmsDir=C:\\TavirexRobust\\Programs",
                                  "DataDir=C:\\TavirexRobust\\Data\\"});
}

std::wstring GetPatient(_clsTavirex* object) {
  Bstr value;
  object->get_PATIENTID(value.out());
  return Wide(value.text());
}

void SetPatient(_clsTavirex* object, const std::wstring& id) {
  Bstr value(id);
  BSTR pointer = value.get();
  object->put_PATIENTID(&pointer);
}

// ---------------------------------------------------------------------------
// Two apartments: the main thread owns an object and pumps messages while
// the other thread calls it through a proxy, and an object of its own.

void Apartments(Watcher& watcher) {
  Doing("two apartments");
  // The file route without "DataDir": the start-up routine shows its box.
  WriteWindowsIni("praxo32.ini", {"[System]", "PgmsDir=C:\\TavirexRobust\\Programs"});
  std::atomic<bool> go{false}, created{false};
  IStream* stream = nullptr;
  HANDLE marshalled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    while (!go) Sleep(0);
    _clsTavirex* own = CreateTavirex();
    created = true;
    _clsTavirex* proxy = nullptr;
    WaitForSingleObject(marshalled, 60000);
    CheckHr(stream != nullptr ? CoGetInterfaceAndReleaseStream(stream, IID__clsTavirex,
                                                               reinterpret_cast<void**>(&proxy))
                              : E_FAIL,
            S_OK, "the object of the other apartment through a proxy");
    for (int round = 0; proxy != nullptr && own != nullptr && round < 200; ++round) {
      const std::wstring id = std::to_wstring(round);
      SetPatient(proxy, L"proxy " + id);
      SetPatient(own, L"own " + id);
      if (GetPatient(proxy) != L"proxy " + id || GetPatient(own) != L"own " + id) {
        Check(false, "round " + std::to_string(round) + ": the objects mixed up their values");
        break;
      }
    }
    if (proxy != nullptr) {
      // A failure's description crosses the apartments in the EXCEPINFO.
      IDispatch* dispatch = DispatchOf(proxy);
      Bstr store(L"C:\\store");
      VARIANT null_name{}, folder{}, out;
      V_VT(&null_name) = VT_NULL;
      V_VT(&folder) = VT_BSTR;
      V_BSTR(&folder) = store.get();
      EXCEPINFO exception{};
      HRESULT hr = Invoke(dispatch, IdOf(dispatch, L"ParseFileName"), DISPATCH_METHOD,
                          {null_name, folder}, &out, &exception);
      Check(hr == DISP_E_EXCEPTION && exception.scode == HRESULT(0x800A005E) &&
                Narrow(exception.bstrDescription) == "Invalid use of Null",
            "ParseFileName(Null) across apartments: " + Hex(hr) + " " + Hex(exception.scode));
      Clear(exception);
      dispatch->Release();
      SetPatient(proxy, L"FROM THE OTHER APARTMENT");
      proxy->Release();
    }
    if (own != nullptr) own->Release();
    CoUninitialize();
    SetEvent(done);
  });
  go = true;
  _clsTavirex* object = CreateTavirex();
  WaitUntil([&] { return created.load(); }, 30000);
  std::vector<Seen> seen = watcher.Take();
  Check(seen.size() == 1 && seen[0].title == "PXEquipIF TavirexIF Error",
        "the start-up box once for two first objects at once: " +
            (seen.empty() ? "none" : Describe(seen[0])));
  WriteQuietHostIni();
  if (object != nullptr) {
    CheckHr(CoMarshalInterThreadInterfaceInStream(IID__clsTavirex, object, &stream), S_OK,
            "marshalling _clsTavirex");
  }
  SetEvent(marshalled);
  int dispatched = 0;
  while (MsgWaitForMultipleObjects(1, &done, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++dispatched) {
      DispatchMessageW(&message);
    }
  }
  other.join();
  Check(dispatched > 0, "the owner served the calls from its message loop");
  if (object != nullptr) {
    Check(GetPatient(object) == L"FROM THE OTHER APARTMENT", "the owner sees the other's Let");
    object->Release();
  }
  CloseHandle(marshalled);
  CloseHandle(done);
  watcher.CheckNothingShown("two apartments");
}

// ---------------------------------------------------------------------------
// Hostile calls through IDispatch: every answer is S_OK, a dispatch error,
// E_INVALIDARG for a malformed DISPPARAMS, or DISP_E_EXCEPTION with a VB
// error and its text; no call changes an argument or keeps a reference.

struct Named {
  std::string name;
  VARIANT value;
};

// The by-reference values point into the plain ones.
class HostileValues {
 public:
  explicit HostileValues(IDispatch* host) {
    auto add = [&](const char* name, VARTYPE type, ULONGLONG bits) {
      VARIANT value{};
      V_VT(&value) = type;
      V_UI8(&value) = bits;
      if ((type == VT_DISPATCH || type == VT_UNKNOWN) && bits != 0) host->AddRef();
      plain_.push_back({name, value});
    };
    const double nan = std::numeric_limits<double>::quiet_NaN(), big = 1e300, negative = -2.5;
    auto bits = [](const auto& value) {
      ULONGLONG result = 0;
      std::memcpy(&result, &value, sizeof value);
      return result;
    };
    plain_.reserve(20);
    add("NULL BSTR", VT_BSTR, 0);
    add("empty BSTR", VT_BSTR, bits(SysAllocString(L"")));
    add("\"O'Brien\"", VT_BSTR, bits(SysAllocString(L"O'Brien")));
    add("Empty", VT_EMPTY, 0);
    add("Null", VT_NULL, 0);
    add("I2 -7", VT_I2, 0xFFF9);
    add("I4 2147483647", VT_I4, 2147483647);
    add("R8 NaN", VT_R8, bits(nan));
    add("R8 1e300", VT_R8, bits(big));
    add("R8 -2.5", VT_R8, bits(negative));
    add("True", VT_BOOL, 0xFFFF);
    add("DATE", VT_DATE, bits(45000.25));
    add("host object", VT_DISPATCH, bits(host));
    add("Nothing", VT_DISPATCH, 0);
    add("IUnknown", VT_UNKNOWN, bits(host));
    add("missing", VT_ERROR, static_cast<ULONG>(DISP_E_PARAMNOTFOUND));
    add("array", VT_ARRAY | VT_I4, bits(SafeArrayCreateVector(VT_I4, 0, 3)));
    all_ = plain_;
    for (Named& value : plain_) {
      if (V_VT(&value.value) != VT_EMPTY && V_VT(&value.value) != VT_NULL) {
        VARIANT reference{};
        V_VT(&reference) = V_VT(&value.value) | VT_BYREF;
        V_BYREF(&reference) = &V_BSTR(&value.value);
        all_.push_back({"ByRef " + value.name, reference});
      }
      VARIANT variant{};
      V_VT(&variant) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&variant) = &value.value;
      all_.push_back({"ByRef Variant " + value.name, variant});
    }
    V_VT(&inner_) = VT_BYREF | VT_BSTR;  // a variant reference to a reference
    V_BSTRREF(&inner_) = &V_BSTR(&plain_[2].value);
    VARIANT nested{};
    V_VT(&nested) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&nested) = &inner_;
    all_.push_back({"ByRef Variant ByRef BSTR", nested});
    for (const Named& value : plain_) snapshot_.push_back(Snapshot(value.value));
  }
  ~HostileValues() {
    for (Named& value : plain_) VariantClear(&value.value);
  }
  HostileValues(const HostileValues&) = delete;
  HostileValues& operator=(const HostileValues&) = delete;

  const std::vector<Named>& all() const { return all_; }
  const VARIANT& text() const { return plain_[2].value; }
  const VARIANT& empty() const { return plain_[3].value; }
  const VARIANT& host() const { return plain_[12].value; }

  // The name of a value a call changed, or "".
  std::string Changed() const {
    for (std::size_t i = 0; i < plain_.size(); ++i) {
      if (Snapshot(plain_[i].value) != snapshot_[i]) return plain_[i].name;
    }
    return V_BSTRREF(&inner_) == &V_BSTR(&plain_[2].value) ? "" : "ByRef BSTR";
  }

 private:
  std::vector<Named> plain_;
  std::vector<Named> all_;
  std::vector<std::wstring> snapshot_;
  VARIANT inner_{};

  static std::wstring Snapshot(const VARIANT& value) {
    return Show(value) + L" " + std::to_wstring(V_VT(&value)) + L" " + std::to_wstring(V_UI8(&value));
  }
};

// How a hostile call is put together.
enum Malformed { kWellFormed, kNoArgumentArray, kNoNameArray, kMoreNamesThanArguments };
struct Shape {
  std::string name;
  std::vector<VARIANT> arguments;  // in call order
  std::vector<DISPID> names;       // of the last arguments, last first
  Malformed malformed = kWellFormed;
  bool no_outputs = false;  // no result, EXCEPINFO or argument error
};

std::vector<Shape> ShapesFor(const HostileValues& values, int inputs, WORD flags) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const int count = std::max(put ? 1 : inputs, 1);
  const std::vector<DISPID> put_name =
      put ? std::vector<DISPID>{DISPID_PROPERTYPUT} : std::vector<DISPID>{};
  auto repeat = [](const VARIANT& value, int n) { return std::vector<VARIANT>(n, value); };
  const VARIANT& text = values.text();
  std::vector<Shape> shapes{{"no arguments", {}, {}}};
  for (const Named& value : values.all()) {
    shapes.push_back({value.name, repeat(value.value, count), put_name});
  }
  shapes.push_back({"one too many", repeat(text, count + 1), put_name});
  shapes.push_back({"one too many Empty", repeat(values.empty(), count + 1), put_name});
  shapes.push_back({"one too few", repeat(text, count - 1), {}});
  shapes.push_back({"named first parameter", repeat(text, 1), {0}});
  shapes.push_back({"named unknown parameter", repeat(text, 1), {77}});
  shapes.push_back({"two names", repeat(text, 2), {DISPID_PROPERTYPUT, 0}});
  shapes.push_back({"no name for the put", repeat(text, 1), {}});
  shapes.push_back({"no argument array", repeat(text, 1), {}, kNoArgumentArray});
  shapes.push_back({"no name array", repeat(text, 1), {0}, kNoNameArray});
  shapes.push_back({"more names than arguments", repeat(text, 1), {DISPID_PROPERTYPUT, 0},
                    kMoreNamesThanArguments});
  shapes.push_back({"no outputs, text", repeat(text, count), put_name, kWellFormed, true});
  shapes.push_back({"no outputs, host object", repeat(values.host(), count), put_name, kWellFormed,
                    true});
  return shapes;
}

// "" when `hr` and what came with it are a proper answer, else what is wrong.
std::string Judge(HRESULT hr, EXCEPINFO& exception, const VARIANT& result, const Shape& shape) {
  if (hr == S_OK) return V_VT(&result) == VT_BSTR && V_BSTR(&result) == nullptr ? "NULL text" : "";
  if (hr == DISP_E_EXCEPTION && !shape.no_outputs) {
    if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
    if ((static_cast<ULONG>(exception.scode) & 0xFFFF0000) != 0x800A0000 ||
        SysStringLen(exception.bstrDescription) == 0) {
      return "DISP_E_EXCEPTION " + Hex(exception.scode) + " \"" +
             Narrow(exception.bstrDescription) + "\"";
    }
    return "";
  }
  if (hr == DISP_E_EXCEPTION || HRESULT_FACILITY(hr) == FACILITY_DISPATCH) return "";
  return hr == E_INVALIDARG && shape.malformed != kWellFormed ? "" : "HRESULT " + Hex(hr);
}

// Where the workflow members run harmlessly: no device function, an existing
// drop folder, a vendor program that is not there.
void MakeWorkflowsHarmless(_clsTavirex* object) {
  SetPatient(object, L"NOBODY");
  for (auto [put, value] : {std::pair{&_clsTavirex::put_DeviceName, L""},
                            {&_clsTavirex::put_EquipDataPath, kDrop},
                            {&_clsTavirex::put_EquipProgPathFName, L"C:\\Missing\\Vendor.exe"}}) {
    Bstr text(value);
    BSTR pointer = text.get();
    (object->*put)(&pointer);
  }
}

void HostileDispatch(Watcher& watcher) {
  WriteQuietHostIni();
  CountedObject host;
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
  IDispatch* dispatch = DispatchOf(object);
  ITypeInfo* info = nullptr;
  dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  int calls = 0, captures = 0, reviews = 0;
  {
    Members members(info);
    HostileValues values(&host);
    auto empty_fields = [&] {
      for (const Function& field : members.functions()) {
        VARIANT nothing{};
        V_VT(&nothing) = VT_DISPATCH;
        if (field.kind == INVOKE_PROPERTYPUTREF) {
          Invoke(dispatch, field.id, DISPATCH_PROPERTYPUTREF, {nothing}, nullptr);
        }
      }
    };
    std::vector<MEMBERID> done;
    for (const Function& function : members.functions()) {
      if (std::find(done.begin(), done.end(), function.id) != done.end()) continue;
      done.push_back(function.id);
      const Function* method = members.Find(function.id, INVOKE_FUNC);
      int inputs = 0;
      for (const ELEMDESC& param : method != nullptr ? method->params : std::vector<ELEMDESC>{}) {
        inputs += IsRetval(param) ? 0 : 1;
      }
      const bool capture = function.name == "CaptureDevice";
      const bool review = function.name == "ReviewDevice";
      const bool workflow = capture || review || function.name == "DoDeviceFunction";
      std::string wrong;
      for (WORD flags : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                         DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF}) {
        for (Shape& shape : ShapesFor(values, inputs, flags)) {
          const std::string call = function.name + " flags " + std::to_string(flags) + " with " +
                                   shape.name;
          if (workflow) MakeWorkflowsHarmless(object);
          std::vector<VARIANT> reversed(shape.arguments.rbegin(), shape.arguments.rend());
          DISPPARAMS params{reversed.data(), shape.names.data(),
                            static_cast<UINT>(reversed.size()),
                            static_cast<UINT>(shape.names.size())};
          if (shape.malformed == kNoArgumentArray) params.rgvarg = nullptr;
          if (shape.malformed == kNoNameArray) params.rgdispidNamedArgs = nullptr;
          VARIANT result;
          VariantInit(&result);
          EXCEPINFO exception{};
          UINT argument_error = 0;
          Doing(call);
          HRESULT hr = dispatch->Invoke(function.id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                        shape.no_outputs ? nullptr : &result,
                                        shape.no_outputs ? nullptr : &exception,
                                        shape.no_outputs ? nullptr : &argument_error);
          ++calls;
          std::string why = Judge(hr, exception, result, shape);
          if (why.empty() && !values.Changed().empty()) why = "changed " + values.Changed();
          VariantClear(&result);
          Clear(exception);
          for (const Seen& seen : watcher.Take()) {
            if (capture && seen.text == "File Not Found") {
              ++captures;
            } else if (review && !seen.box) {
              ++reviews;
            } else if (why.empty()) {
              why = "unexpected " + Describe(seen);
            }
          }
          if (!why.empty() && wrong.empty()) wrong = call + ": " + why;
        }
      }
      empty_fields();
      if (wrong.empty() && host.references() != 3) {
        wrong = "the host object has " + std::to_string(host.references()) + " references, not 3";
      }
      Check(wrong.empty(), function.name + ": " + wrong);
    }
  }
  if (info != nullptr) info->Release();
  Check(calls > 10000 && captures > 0 && reviews > 0,
        std::to_string(calls) + " hostile calls; the workflow members ran when called properly: " +
            std::to_string(captures) + " captures, " + std::to_string(reviews) + " reviews");
  SetPatient(object, L"AFTER");
  Check(GetPatient(object) == L"AFTER", "PATIENTID round trip after the hostile calls");
  dispatch->Release();
  object->Release();
  Check(host.references() == 1, "every reference to the host object given back");
  watcher.CheckNothingShown("after the hostile calls");
}

// ---------------------------------------------------------------------------
// The function table: each pointer parameter NULL in turn gives E_POINTER
// and no error information (a NULL by-value string or object is "" or
// Nothing); NULL strings give what "" gives.

// Calls `function` with pointers to zeroed slots (strings NULL or "", a TRUE
// boolean), but parameter `null_param` NULL; returns the HRESULT and outputs.
std::wstring CallWith(_clsTavirex* object, const Function& function, int null_param,
                      bool null_strings) {
  std::vector<VARIANT> slots(function.params.size());
  std::vector<ULONG_PTR> words;
  for (std::size_t p = 0; p < slots.size(); ++p) {
    const ELEMDESC& param = function.params[p];
    VARIANT& slot = slots[p];
    const VARTYPE type = BaseType(param);
    const bool input = (param.paramdesc.wParamFlags & PARAMFLAG_FOUT) == 0;
    if (input && type == VT_BSTR && !null_strings) V_BSTR(&slot) = SysAllocString(L"");
    if (input && type == VT_BOOL) V_BOOL(&slot) = VARIANT_TRUE;
    void* target = type == VT_VARIANT ? static_cast<void*>(&slot) : &V_BSTR(&slot);
    words.push_back(param.tdesc.vt != VT_PTR   ? static_cast<ULONG_PTR>(V_UI8(&slot))
                    : static_cast<int>(p) == null_param ? 0
                                                        : reinterpret_cast<ULONG_PTR>(target));
  }
  std::wstring outcome = Wide(Hex(CallTable(object, function.offset, words)));
  for (std::size_t p = 0; p < slots.size(); ++p) {
    if (BaseType(function.params[p]) != VT_VARIANT) V_VT(&slots[p]) = BaseType(function.params[p]);
    if (function.params[p].paramdesc.wParamFlags & PARAMFLAG_FOUT) outcome += L" " + Show(slots[p]);
    VariantClear(&slots[p]);
  }
  return outcome;
}

void FunctionTable() {
  WriteQuietHostIni();
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
  ITypeInfo* info = nullptr;
  object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  Members members(info);
  if (info != nullptr) info->Release();
  int null_pointers = 0;
  for (const Function& function : members.functions()) {
    const bool workflow = function.name == "CaptureDevice" || function.name == "ReviewDevice" ||
                          function.name == "DoDeviceFunction";
    bool string_input = false;
    for (std::size_t p = 0; p < function.params.size(); ++p) {
      const ELEMDESC& param = function.params[p];
      string_input = string_input ||
                     (BaseType(param) == VT_BSTR && !(param.paramdesc.wParamFlags & PARAMFLAG_FOUT));
      if (param.tdesc.vt != VT_PTR) continue;
      // A stale description that an E_POINTER must not leave behind.
      ICreateErrorInfo* create = nullptr;
      IErrorInfo* stale = nullptr;
      CreateErrorInfo(&create);
      create->SetDescription(const_cast<LPOLESTR>(L"stale"));
      create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&stale));
      create->Release();
      SetErrorInfo(0, stale);
      stale->Release();
      if (workflow) MakeWorkflowsHarmless(object);
      Doing(function.name + " with parameter " + std::to_string(p) + " NULL");
      const std::wstring outcome = CallWith(object, function, static_cast<int>(p), false);
      ++null_pointers;
      IErrorInfo* left = nullptr;
      HRESULT hr = GetErrorInfo(0, &left);
      if (left != nullptr) left->Release();
      Check(outcome.rfind(Wide(Hex(E_POINTER)), 0) == 0 && hr == S_FALSE,
            function.name + " with parameter " + std::to_string(p) + " NULL: " +
                Narrow(outcome.c_str()) + ", error information " + Hex(hr));
    }
    if (!string_input || workflow) continue;
    Doing(function.name + " with NULL strings");
    const std::wstring with_null = CallWith(object, function, -1, true);
    const std::wstring with_empty = CallWith(object, function, -1, false);
    Check(with_null == with_empty, function.name + " with NULL strings: " +
                                       Narrow(with_null.c_str()) + "; with \"\": " +
                                       Narrow(with_empty.c_str()));
  }
  Check(null_pointers > 100, "NULL pointers tried: " + std::to_string(null_pointers));
  object->Release();
}

// ---------------------------------------------------------------------------
// Objects created, used and released: the host's object and the DLL let go.

void Leaks(Watcher& watcher) {
  WriteQuietHostIni();
  CountedObject host;
  int wrong = 0;
  for (int round = 0; round < 1000; ++round) {
    Doing("object " + std::to_string(round));
    _clsTavirex* object = CreateTavirex();
    if (object == nullptr) return;
    SetPatient(object, L"LEAK");
    object->putref_mobjPatient(&host);
    IDispatch* names = nullptr;
    object->get_DeviceNames(&names);
    IEnumVARIANT* items = nullptr;
    VARIANT result;
    if (names != nullptr &&
        Invoke(names, DISPID_NEWENUM, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &result) == S_OK) {
      V_UNKNOWN(&result)->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
      VariantClear(&result);
    }
    ULONG fetched = 0;
    VARIANT all[20];
    wrong += items == nullptr || items->Next(20, all, &fetched) != S_FALSE || fetched != 16;
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&all[i]);
    if (items != nullptr) items->Release();
    if (names != nullptr) names->Release();
    VARIANT null_name{};
    V_VT(&null_name) = VT_NULL;
    BSTR folder = nullptr;
    Bstr parsed;
    wrong += object->ParseFileName(&null_name, &folder, parsed.out()) != HRESULT(0x800A005E);
    object->Release();
  }
  Check(wrong == 0, "1,000 objects: " + std::to_string(wrong) + " wrong");
  Check(host.references() == 1, "the host's object given back by every object: " +
                                    std::to_string(host.references()) + " references");
  CheckHr(CanUnloadNow(), S_OK, "DllCanUnloadNow after 1,000 objects");
  watcher.CheckNothingShown("1,000 objects");
}

}  // namespace

int main(int argc, char**) {
  if (argc < 2) {
    std::printf("usage: robustness_test_host <path of tavirex.dll>\n");
    return 2;
  }
  std::error_code ignored;
  std::filesystem::remove_all(L"C:\\TavirexRobust", ignored);
  for (const wchar_t* folder : {L"C:\\TavirexRobust\\Data", L"C:\\TavirexRobust\\Programs", kDrop}) {
    std::filesystem::create_directories(folder);
  }
  StartHost();
  {
    Watcher watcher(30);
    Apartments(watcher);  // first: the start-up routine runs with the first objects
    HostileDispatch(watcher);
    FunctionTable();
    Leaks(watcher);
    Doing("finishing");
  }
  return FinishHost();
}
