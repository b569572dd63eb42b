// A COM client of tavirex.dll that tries to break it, run under wine64 after
// registration:
//   - two single-threaded apartments create their first objects at the same
//     moment (the start-up routine must run once), then use objects of their
//     own at once; an object of one apartment is marshalled to the other and
//     called from there while its own apartment pumps messages;
//   - every member of _clsTavirex, enumerated from the type library, invoked
//     through IDispatch with hostile values, argument counts, named arguments
//     and invoke flags, and called through the function table with NULL
//     pointers and NULL strings;
//   - 10,000 objects created, used and released: the DLL may unload
//     afterwards and the process's memory stays flat.
//   robustness_test_host.exe <Windows path of the registered tavirex.dll>
// Writes praxo32.ini into the Windows folder and its folders under
// C:\TavirexRobust. A watcher thread answers every message box and closes
// every image list window, and fails the run for those it did not expect;
// a crash or a call that hangs ends the run with a failure naming the call.
// Prints "N passed, N failed"; exits 1 on any failure.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com/tavirex_h.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const wchar_t kRoot[] = L"C:\\TavirexRobust";
const wchar_t kDataDir[] = L"C:\\TavirexRobust\\Data\\";
const wchar_t kImages[] = L"C:\\TavirexRobust\\Images";
const wchar_t kDrop[] = L"C:\\TavirexRobust\\Drop";
const wchar_t kMissingProgram[] = L"C:\\TavirexRobust\\Missing\\CreatePatient.exe";
constexpr DWORD kLongWait = 120000;  // ms; far beyond any healthy run
constexpr auto kHangLimit = std::chrono::seconds(30);

// ---------------------------------------------------------------------------
// Results, checked from several threads.

std::mutex g_results_mutex;
int g_passed = 0;
int g_failed = 0;

void Check(bool condition, const std::string& what) {
  std::lock_guard<std::mutex> lock(g_results_mutex);
  if (condition) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
  }
}

[[noreturn]] void Abandon(const std::string& why) {
  // No lock: the thread that holds it may be the one that is stuck.
  std::printf("FAIL: %s\n%d passed, %d failed\n", why.c_str(), g_passed, g_failed + 1);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

// What the program is doing, for the report of a crash or a hang.
std::mutex g_activity_mutex;
std::string g_activity = "starting";
Clock::time_point g_activity_since = Clock::now();

void Doing(std::string what) {
  std::lock_guard<std::mutex> lock(g_activity_mutex);
  g_activity = std::move(what);
  g_activity_since = Clock::now();
}

std::string Activity(Clock::duration* running = nullptr) {
  std::lock_guard<std::mutex> lock(g_activity_mutex);
  if (running != nullptr) *running = Clock::now() - g_activity_since;
  return g_activity;
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
  char code[32];
  std::snprintf(code, sizeof code, "0x%08lX",
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode));
  std::string doing = g_activity_mutex.try_lock() ? g_activity : "(unknown)";
  Abandon(std::string("crash, exception ") + code + " during: " + doing);
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

std::string Narrow(const std::wstring& text) { return Narrow(text.c_str()); }

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

void WriteWindowsFile(const char* name, const std::string& content) {
  char folder[MAX_PATH];
  GetWindowsDirectoryA(folder, MAX_PATH);
  std::ofstream file(std::string(folder) + "\\" + name, std::ios::binary | std::ios::trunc);
  file << content;
}

// The host INI with both folders: nothing the plug-in reads from it shows a box.
void WriteQuietHostIni() {
  WriteWindowsFile("praxo32.ini", "[System]\r\nPgmsDir=C:\\TavirexRobust\\Programs\r\nDataDir=" +
                                      Narrow(kDataDir) + "\r\n");
}

// ---------------------------------------------------------------------------
// The watcher: answers every message box of this process with its first
// button and closes every image list window, records what it saw, and ends
// the run when one activity lasts too long.

struct Seen {
  bool box = true;  // else the image list window
  std::string title;
  std::string text;
};

std::string Describe(const std::vector<Seen>& seen) {
  std::string result;
  for (const Seen& item : seen) {
    result += item.box ? " [box \"" : " [window \"";
    result += item.title + "\"";
    if (item.box) result += " \"" + item.text + "\"";
    result += "]";
  }
  return result.empty() ? " none" : result;
}

class Watcher {
 public:
  Watcher() : thread_([this] { Run(); }) {}
  ~Watcher() {
    stop_ = true;
    thread_.join();
  }

  std::vector<Seen> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(seen_, {});
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM found) {
    char name[64] = {};
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetClassNameA(window, name, sizeof name) > 0 &&
        (std::strcmp(name, "#32770") == 0 || std::strcmp(name, "TavirexImageListWindow") == 0)) {
      reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
  }

  void Run() {
    while (!stop_) {
      std::vector<HWND> found;
      EnumWindows(&Watcher::Collect, reinterpret_cast<LPARAM>(&found));
      for (HWND window : found) {
        Seen seen;
        char text[1024] = {};
        GetWindowTextA(window, text, sizeof text);
        seen.title = text;
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        seen.box = std::strcmp(name, "#32770") == 0;
        if (seen.box) {
          text[0] = '\0';
          GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
          seen.text = text;
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          seen_.push_back(seen);
        }
        if (seen.box) {
          int answer = IDOK;
          for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
            if (GetDlgItem(window, id) != nullptr) {
              answer = id;
              break;
            }
          }
          PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(window, answer)));
        } else {
          PostMessageA(window, WM_CLOSE, 0, 0);
        }
        for (int i = 0; i < 250 && IsWindow(window) && IsWindowVisible(window); ++i) Sleep(20);
      }
      Clock::duration running{};
      std::string doing = Activity(&running);
      if (running > kHangLimit) Abandon("no progress for 30 s during: " + doing);
      Sleep(20);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Seen> seen_;
  std::thread thread_;
};

Watcher* g_watcher = nullptr;

void CheckNothingShown(const std::string& what) {
  std::vector<Seen> seen = g_watcher->Take();
  Check(seen.empty(), what + ": unexpected" + Describe(seen));
}

// ---------------------------------------------------------------------------
// Calls through the function table and IDispatch.

using GetString = HRESULT (STDMETHODCALLTYPE _clsTavirex::*)(BSTR*);
using LetStringRef = HRESULT (STDMETHODCALLTYPE _clsTavirex::*)(BSTR*);

HRESULT Let(_clsTavirex* object, LetStringRef let, const std::wstring& text) {
  BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  HRESULT hr = (object->*let)(&value);
  SysFreeString(value);
  return hr;
}

// The text, or "<0x...>" for a failed call and "<NULL>" for a NULL string.
std::wstring Get(_clsTavirex* object, GetString get) {
  BSTR value = nullptr;
  HRESULT hr = (object->*get)(&value);
  std::wstring text;
  if (FAILED(hr)) {
    const std::string code = "<" + Hex(hr) + ">";
    text.assign(code.begin(), code.end());
  } else {
    text = value == nullptr ? L"<NULL>" : std::wstring(value, SysStringLen(value));
  }
  SysFreeString(value);
  return text;
}

std::wstring FixString(_clsTavirex* object, const std::wstring& text) {
  BSTR argument = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  BSTR result = nullptr;
  HRESULT hr = object->fun_sFixString(&argument, &result);
  std::wstring fixed = SUCCEEDED(hr) && result != nullptr ? result : L"<failed>";
  SysFreeString(argument);
  SysFreeString(result);
  return fixed;
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// fun_sFixString by name through IDispatch.
std::wstring FixStringByName(IDispatch* object, const std::wstring& text) {
  DISPID id = IdOf(object, L"fun_sFixString");
  if (id == DISPID_UNKNOWN) return L"<no name>";
  VARIANT argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  DISPPARAMS params{&argument, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                              nullptr, nullptr);
  std::wstring fixed = SUCCEEDED(hr) && V_VT(&result) == VT_BSTR && V_BSTR(&result) != nullptr
                           ? V_BSTR(&result)
                           : L"<failed>";
  VariantClear(&argument);
  VariantClear(&result);
  return fixed;
}

// "count|first|last|enumerated" of DeviceNames.
std::wstring DeviceNamesSummary(_clsTavirex* object) {
  IDispatch* names = nullptr;
  if (FAILED(object->get_DeviceNames(&names)) || names == nullptr) return L"<no collection>";
  ITavirexCollection* collection = nullptr;
  names->QueryInterface(IID_ITavirexCollection, reinterpret_cast<void**>(&collection));
  names->Release();
  if (collection == nullptr) return L"<not a collection>";
  LONG count = 0;
  collection->get_Count(&count);
  std::wstring summary = std::to_wstring(count);
  for (LONG position : {1L, count}) {
    VARIANT index;
    V_VT(&index) = VT_I4;
    V_I4(&index) = position;
    VARIANT item;
    VariantInit(&item);
    collection->Item(&index, &item);
    summary += L"|";
    summary += V_VT(&item) == VT_BSTR && V_BSTR(&item) != nullptr ? V_BSTR(&item) : L"<?>";
    VariantClear(&item);
  }
  IUnknown* unknown = nullptr;
  IEnumVARIANT* items = nullptr;
  collection->_NewEnum(&unknown);
  if (unknown != nullptr) {
    unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
    unknown->Release();
  }
  ULONG enumerated = 0;
  if (items != nullptr) {
    VARIANT batch[20];
    items->Next(20, batch, &enumerated);
    for (ULONG i = 0; i < enumerated; ++i) VariantClear(&batch[i]);
    items->Release();
  }
  collection->Release();
  return summary + L"|" + std::to_wstring(enumerated);
}

_clsTavirex* CreateObject(HRESULT* result = nullptr) {
  _clsTavirex* object = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_clsTavirex, nullptr, CLSCTX_INPROC_SERVER, IID__clsTavirex,
                                reinterpret_cast<void**>(&object));
  if (result != nullptr) *result = hr;
  return SUCCEEDED(hr) ? object : nullptr;
}

// A host data object: counts its references, and answers no member.
class HostObject final : public IDispatch {
 public:
  LONG references() const { return references_; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references_); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  LONG references_ = 1;
};

// ---------------------------------------------------------------------------
// Objects in use on several threads: each thread counts its own checks.

struct Tally {
  std::string name;
  int checks = 0;
  int wrong = 0;
  std::string first_wrong;

  void Expect(bool ok, const std::string& what) {
    ++checks;
    if (!ok && wrong++ == 0) first_wrong = what;
  }
  void Report(const std::string& what) const {
    Check(checks > 0 && wrong == 0, what + " in " + name + ": " + std::to_string(checks) +
                                        " checks, " + std::to_string(wrong) + " wrong" +
                                        (wrong > 0 ? ", first: " + first_wrong : ""));
  }
};

// One round of ordinary use; `heavy` adds the collection, the host INI and
// the image folder. `names` is the DeviceNames summary of the first round.
void UseObject(_clsTavirex* object, Tally& tally, const std::wstring& tag, int round, bool heavy,
               std::wstring& names) {
  const std::wstring id = tag + L"-" + std::to_wstring(round);
  Let(object, &_clsTavirex::put_PATIENTID, id);
  std::wstring got = Get(object, &_clsTavirex::get_PATIENTID);
  tally.Expect(got == id, "PATIENTID " + Narrow(id) + " read back as " + Narrow(got));

  BSTR company = SysAllocString((L"Vision & Co " + id).c_str());
  object->put_CompanyName(company);
  got = Get(object, &_clsTavirex::get_CompanyName);
  tally.Expect(got == company, "CompanyName read back as " + Narrow(got));
  SysFreeString(company);

  got = FixString(object, L"O'Brien's " + id);
  tally.Expect(got == L"O''Brien''s " + id, "fun_sFixString gave " + Narrow(got));
  IDispatch* dispatch = nullptr;
  object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (dispatch != nullptr) {
    got = FixStringByName(dispatch, L"it's " + id);
    tally.Expect(got == L"it''s " + id, "fun_sFixString through IDispatch gave " + Narrow(got));
    dispatch->Release();
  } else {
    tally.Expect(false, "no IDispatch");
  }
  if (!heavy) return;

  got = DeviceNamesSummary(object);
  if (names.empty()) {
    names = got;
    tally.Expect(
        got.rfind(L"16|", 0) == 0 && got.size() > 3 && got.substr(got.size() - 3) == L"|16",
        "DeviceNames: " + Narrow(got));
  } else {
    tally.Expect(got == names, "DeviceNames: " + Narrow(got) + ", before " + Narrow(names));
  }
  got = Get(object, &_clsTavirex::GetPraxoDBPath);
  tally.Expect(got == kDataDir, "GetPraxoDBPath gave " + Narrow(got));
  Let(object, &_clsTavirex::put_PATIENTID, L"PAT-1");
  Let(object, &_clsTavirex::put_EquipDataPath, kImages);
  LONG count = -1;
  HRESULT hr = object->NumPatientImageFiles(&count);
  tally.Expect(hr == S_OK && count == 3,
               "NumPatientImageFiles: " + Hex(hr) + ", " + std::to_string(count));
  got = Get(object, &_clsTavirex::get_LogoToolTip);
  tally.Expect(got.rfind(L"Last Session: ", 0) == 0 && got.size() > 10 &&
                   got.substr(got.size() - 10) == L"  Images=3",
               "LogoToolTip " + Narrow(got));
}

// A manual-reset event.
class Gate {
 public:
  Gate() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Gate() { CloseHandle(event_); }
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;
  void Open() { SetEvent(event_); }
  bool Wait(DWORD milliseconds = kLongWait) {
    return WaitForSingleObject(event_, milliseconds) == WAIT_OBJECT_0;
  }
  HANDLE handle() const { return event_; }

 private:
  HANDLE event_;
};

// Pumps this thread's messages until `gate` opens; false after `milliseconds`.
bool PumpUntil(Gate& gate, DWORD milliseconds, int* dispatched) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  HANDLE event = gate.handle();
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    DWORD woke =
        MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) return true;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      ++*dispatched;
    }
  }
}

void WaitOrAbandon(Gate& gate, const std::string& what) {
  if (!gate.Wait()) Abandon("deadlock: " + what + " did not happen within 120 s");
}

// The first two objects of the process are created at the same moment in two
// apartments, then each apartment works its own objects at once.
void TwoApartments() {
  // The file route without "DataDir": the start-up routine shows its box.
  WriteWindowsFile("praxo32.ini", "[System]\r\nPgmsDir=C:\\TavirexRobust\\Programs\r\n");
  constexpr int kRounds = 3000;
  struct Apartment {
    Tally tally;
    HRESULT created = E_FAIL;
    LONGLONG create_began = 0;  // performance counter
    LONGLONG create_ended = 0;
    Gate ready, made, finished;
  } apartments[2];
  Gate go, run;
  apartments[0].tally.name = "apartment A";
  apartments[1].tally.name = "apartment B";

  auto work = [&](Apartment& apartment, const std::wstring& tag) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IClassFactory* factory = nullptr;
    CoGetClassObject(CLSID_clsTavirex, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                     reinterpret_cast<void**>(&factory));
    apartment.ready.Open();
    go.Wait();
    _clsTavirex* object = nullptr;
    if (factory != nullptr) {
      QueryPerformanceCounter(reinterpret_cast<LARGE_INTEGER*>(&apartment.create_began));
      apartment.created =
          factory->CreateInstance(nullptr, IID__clsTavirex, reinterpret_cast<void**>(&object));
      QueryPerformanceCounter(reinterpret_cast<LARGE_INTEGER*>(&apartment.create_ended));
      factory->Release();
    }
    apartment.made.Open();
    run.Wait();
    std::wstring names;
    for (int round = 0; object != nullptr && round < kRounds; ++round) {
      UseObject(object, apartment.tally, tag, round, round % 10 == 0, names);
      if (round % 100 == 99) {  // a new object now and then, while the other thread works
        Doing("two apartments: " + apartment.tally.name + " at round " + std::to_string(round));
        object->Release();
        HRESULT hr = E_FAIL;
        object = CreateObject(&hr);
        apartment.tally.Expect(object != nullptr, "CoCreateInstance: " + Hex(hr));
      }
    }
    if (object != nullptr) object->Release();
    CoUninitialize();
    apartment.finished.Open();
  };
  Doing("two apartments: creating the first objects");
  std::thread first(work, std::ref(apartments[0]), L"A");
  std::thread second(work, std::ref(apartments[1]), L"B");
  first.detach();  // joined through their gates; a deadlock abandons the run
  second.detach();
  WaitOrAbandon(apartments[0].ready, "apartment A loading the DLL");
  WaitOrAbandon(apartments[1].ready, "apartment B loading the DLL");
  go.Open();
  WaitOrAbandon(apartments[0].made, "apartment A creating its first object");
  WaitOrAbandon(apartments[1].made, "apartment B creating its first object");
  Check(apartments[0].created == S_OK && apartments[1].created == S_OK,
        "the first objects of both apartments: " + Hex(apartments[0].created) + ", " +
            Hex(apartments[1].created));
  // One creation waits for the other's start-up box, so the two overlap.
  Check(apartments[0].create_began < apartments[1].create_ended &&
            apartments[1].create_began < apartments[0].create_ended,
        "the first two creations ran at the same time");
  std::vector<Seen> seen = g_watcher->Take();
  Check(
      seen.size() == 1 && seen[0].box && seen[0].title == "PXEquipIF TavirexIF Error" &&
          seen[0].text == "Unable to find or read the praxo32.ini file.",
      "the start-up routine's box exactly once for two concurrent first objects:" + Describe(seen));

  WriteQuietHostIni();
  Doing("two apartments: using their objects at once");
  run.Open();
  WaitOrAbandon(apartments[0].finished,
                "apartment A finishing " + std::to_string(kRounds) + " rounds");
  WaitOrAbandon(apartments[1].finished,
                "apartment B finishing " + std::to_string(kRounds) + " rounds");
  for (const Apartment& apartment : apartments) apartment.tally.Report("concurrent use");
  CheckNothingShown("two apartments");
}

// An object of one apartment called from another through the universal
// marshaller, while its own apartment pumps messages.
void MarshalledObject() {
  WriteQuietHostIni();
  Gate marshalled, called;
  IStream* stream = nullptr;
  HRESULT marshal_hr = E_FAIL;
  std::wstring read_back;
  int dispatched = 0;
  bool pumped = false;
  Tally tally;
  tally.name = "the other apartment";

  auto owner = [&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    _clsTavirex* object = CreateObject(&marshal_hr);
    if (object != nullptr) {
      Let(object, &_clsTavirex::put_PATIENTID, L"OWNER");
      marshal_hr = CoMarshalInterThreadInterfaceInStream(IID__clsTavirex, object, &stream);
    }
    marshalled.Open();
    pumped = PumpUntil(called, kLongWait, &dispatched);
    if (object != nullptr) {
      read_back = Get(object, &_clsTavirex::get_PATIENTID);
      object->Release();
    }
    CoUninitialize();
  };
  auto caller = [&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    marshalled.Wait();
    _clsTavirex* proxy = nullptr;
    HRESULT hr = stream != nullptr ? CoGetInterfaceAndReleaseStream(
                                         stream, IID__clsTavirex, reinterpret_cast<void**>(&proxy))
                                   : E_FAIL;
    tally.Expect(hr == S_OK && proxy != nullptr, "CoGetInterfaceAndReleaseStream: " + Hex(hr));
    if (proxy != nullptr) {
      std::wstring names;
      for (int round = 0; round < 300; ++round) {
        if (round % 50 == 0) Doing("marshalled object: round " + std::to_string(round));
        UseObject(proxy, tally, L"M", round, round % 10 == 0, names);
      }
      // A failure and its error information cross the apartments too.
      VARIANT null_name;
      V_VT(&null_name) = VT_NULL;
      BSTR folder = SysAllocString(L"C:\\store");
      BSTR result = nullptr;
      hr = proxy->ParseFileName(&null_name, &folder, &result);
      tally.Expect(hr == HRESULT(0x800A005E), "ParseFileName(Null) across apartments: " + Hex(hr));
      // Windows carries the error information across; Wine does not, and
      // then there is none rather than a stale one.
      IErrorInfo* error = nullptr;
      BSTR description = nullptr;
      if (GetErrorInfo(0, &error) == S_OK && error != nullptr) {
        error->GetDescription(&description);
        error->Release();
        tally.Expect(description != nullptr && std::wstring(description) == L"Invalid use of Null",
                     "its error information across apartments: " + Narrow(description));
      }
      SysFreeString(description);
      SysFreeString(result);
      SysFreeString(folder);
      // Through IDispatch the description travels in the EXCEPINFO.
      IDispatch* dispatch = nullptr;
      proxy->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
      if (dispatch != nullptr) {
        VARIANT arguments[2];
        V_VT(&arguments[0]) = VT_BSTR;  // MoveToPath, the last
        V_BSTR(&arguments[0]) = SysAllocString(L"C:\\store");
        V_VT(&arguments[1]) = VT_NULL;
        DISPPARAMS params{arguments, nullptr, 2, 0};
        VARIANT returned;
        VariantInit(&returned);
        EXCEPINFO exception{};
        hr = dispatch->Invoke(IdOf(dispatch, L"ParseFileName"), IID_NULL, LOCALE_USER_DEFAULT,
                              DISPATCH_METHOD, &params, &returned, &exception, nullptr);
        tally.Expect(hr == DISP_E_EXCEPTION && exception.scode == HRESULT(0x800A005E) &&
                         Narrow(exception.bstrDescription) == "Invalid use of Null",
                     "ParseFileName(Null) through IDispatch across apartments: " + Hex(hr) + " " +
                         Hex(exception.scode) + " " + Narrow(exception.bstrDescription));
        VariantClear(&arguments[0]);
        VariantClear(&returned);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        dispatch->Release();
      }
      Let(proxy, &_clsTavirex::put_PATIENTID, L"FROM-THE-OTHER-APARTMENT");
      proxy->Release();
    }
    CoUninitialize();
    called.Open();
  };
  Doing("marshalled object: calls from the other apartment");
  Gate owner_done, caller_done;
  std::thread owner_thread([&] {
    owner();
    owner_done.Open();
  });
  std::thread caller_thread([&] {
    caller();
    caller_done.Open();
  });
  owner_thread.detach();
  caller_thread.detach();
  WaitOrAbandon(caller_done, "the calls through the marshalled object");
  WaitOrAbandon(owner_done, "the owning apartment releasing its object");
  Check(marshal_hr == S_OK,
        "CoMarshalInterThreadInterfaceInStream(_clsTavirex): " + Hex(marshal_hr));
  Check(pumped && dispatched > 0, "the owning apartment served the calls from its message loop (" +
                                      std::to_string(dispatched) + " messages)");
  tally.Report("marshalled calls");
  Check(read_back == L"FROM-THE-OTHER-APARTMENT",
        "the owner sees what the other apartment assigned: " + Narrow(read_back));
  CheckNothingShown("marshalled object");
}

// ---------------------------------------------------------------------------
// Hostile calls through IDispatch.

// The members of _clsTavirex as its function table describes them.
struct Function {
  std::string name;
  MEMBERID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  short vtable_offset = 0;
  std::vector<ELEMDESC> params;  // types point into `info`, kept alive by the caller
  FUNCDESC* desc = nullptr;
};

class Interface {
 public:
  explicit Interface(IDispatch* object) {
    ITypeInfo* dispatch_info = nullptr;
    object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &dispatch_info);
    if (dispatch_info == nullptr) return;
    HREFTYPE reference = 0;
    dispatch_info->GetRefTypeOfImplType(-1, &reference);
    dispatch_info->GetRefTypeInfo(reference, &info_);
    dispatch_info->Release();
    if (info_ == nullptr) return;
    TYPEATTR* attributes = nullptr;
    info_->GetTypeAttr(&attributes);
    for (int i = 0; i < attributes->cFuncs; ++i) {
      Function function;
      info_->GetFuncDesc(i, &function.desc);
      BSTR name = nullptr;
      UINT count = 0;
      info_->GetNames(function.desc->memid, &name, 1, &count);
      function.name = Narrow(name);
      SysFreeString(name);
      function.id = function.desc->memid;
      function.kind = function.desc->invkind;
      function.vtable_offset = function.desc->oVft;
      function.params.assign(function.desc->lprgelemdescParam,
                             function.desc->lprgelemdescParam + function.desc->cParams);
      functions_.push_back(std::move(function));
    }
    info_->ReleaseTypeAttr(attributes);
  }
  ~Interface() {
    for (Function& function : functions_) info_->ReleaseFuncDesc(function.desc);
    if (info_ != nullptr) info_->Release();
  }
  Interface(const Interface&) = delete;
  Interface& operator=(const Interface&) = delete;

  const std::vector<Function>& functions() const { return functions_; }
  const Function* Find(MEMBERID id, INVOKEKIND kind) const {
    for (const Function& function : functions_) {
      if (function.id == id && function.kind == kind) return &function;
    }
    return nullptr;
  }

 private:
  ITypeInfo* info_ = nullptr;
  std::vector<Function> functions_;
};

bool IsRetval(const ELEMDESC& param) {
  return (param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0;
}

int InputCount(const Function& function) {
  int count = 0;
  for (const ELEMDESC& param : function.params) count += IsRetval(param) ? 0 : 1;
  return count;
}

// Hostile argument values; the by-reference ones point into the plain ones,
// which must be the same after every call.
class HostileValues {
 public:
  struct Value {
    std::string name;
    VARIANT value;
  };

  explicit HostileValues(IDispatch* host) {
    plain_.reserve(32);
    auto add = [&](const char* name, VARTYPE type, auto set) {
      Value value{name, {}};
      VariantInit(&value.value);
      V_VT(&value.value) = type;
      set(value.value);
      plain_.push_back(value);
    };
    add("NULL BSTR", VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = nullptr; });
    add("empty BSTR", VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = SysAllocString(L""); });
    add("\"O'Brien\"", VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = SysAllocString(L"O'Brien"); });
    add("Empty", VT_EMPTY, [](VARIANT&) {});
    add("Null", VT_NULL, [](VARIANT&) {});
    add("I2 -7", VT_I2, [](VARIANT& v) { V_I2(&v) = -7; });
    add("I4 2147483647", VT_I4, [](VARIANT& v) { V_I4(&v) = 2147483647; });
    add("R8 NaN", VT_R8, [](VARIANT& v) { V_R8(&v) = std::numeric_limits<double>::quiet_NaN(); });
    add("R8 1e300", VT_R8, [](VARIANT& v) { V_R8(&v) = 1e300; });
    add("R8 -2.5", VT_R8, [](VARIANT& v) { V_R8(&v) = -2.5; });
    add("BOOL True", VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; });
    add("DATE", VT_DATE, [](VARIANT& v) { V_DATE(&v) = 45000.25; });
    add("host object", VT_DISPATCH, [&](VARIANT& v) {
      V_DISPATCH(&v) = host;
      host->AddRef();
    });
    add("Nothing", VT_DISPATCH, [](VARIANT& v) { V_DISPATCH(&v) = nullptr; });
    add("IUnknown", VT_UNKNOWN, [&](VARIANT& v) {
      V_UNKNOWN(&v) = host;
      host->AddRef();
    });
    add("missing", VT_ERROR, [](VARIANT& v) { V_ERROR(&v) = DISP_E_PARAMNOTFOUND; });
    add("array", VT_ARRAY | VT_I4,
        [](VARIANT& v) { V_ARRAY(&v) = SafeArrayCreateVector(VT_I4, 0, 3); });

    all_ = plain_;
    for (Value& value : plain_) {
      VARTYPE type = V_VT(&value.value);
      if (type != VT_EMPTY && type != VT_NULL) {
        Value reference{"ByRef " + value.name, {}};
        V_VT(&reference.value) = type | VT_BYREF;
        V_BYREF(&reference.value) = &V_BSTR(&value.value);  // the start of the value
        all_.push_back(reference);
      }
      Value variant{"ByRef Variant " + value.name, {}};
      V_VT(&variant.value) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&variant.value) = &value.value;
      all_.push_back(variant);
    }
    // A reference to a variant that is itself a reference.
    VariantInit(&inner_);
    V_VT(&inner_) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&inner_) = &V_BSTR(&plain_[2].value);
    Value nested{"ByRef Variant ByRef BSTR", {}};
    V_VT(&nested.value) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&nested.value) = &inner_;
    all_.push_back(nested);

    for (const Value& value : plain_) snapshot_.push_back(value.value);
    inner_snapshot_ = inner_;
  }
  ~HostileValues() {
    for (Value& value : plain_) VariantClear(&value.value);
  }
  HostileValues(const HostileValues&) = delete;
  HostileValues& operator=(const HostileValues&) = delete;

  const std::vector<Value>& all() const { return all_; }
  const Value& text() const { return plain_[2]; }
  const Value& empty() const { return plain_[3]; }
  const Value& host() const { return plain_[12]; }

  // The name of a value that a call changed, or "".
  std::string Changed() const {
    for (std::size_t i = 0; i < plain_.size(); ++i) {
      if (std::memcmp(&plain_[i].value, &snapshot_[i], sizeof(VARIANT)) != 0) {
        return plain_[i].name;
      }
    }
    if (std::wstring(V_BSTR(&plain_[2].value)) != L"O'Brien") return plain_[2].name + " (text)";
    if (std::memcmp(&inner_, &inner_snapshot_, sizeof(VARIANT)) != 0) return "ByRef BSTR";
    return "";
  }

 private:
  std::vector<Value> plain_;
  std::vector<Value> all_;
  std::vector<VARIANT> snapshot_;
  VARIANT inner_;
  VARIANT inner_snapshot_;
};

// How a hostile call is put together.
struct Shape {
  std::string name;
  std::vector<VARIANT> arguments;  // in call order
  std::vector<DISPID> named;       // names of the last arguments, last first
  bool no_argument_array = false;  // cArgs > 0 but no rgvarg
  bool no_name_array = false;      // cNamedArgs > 0 but no rgdispidNamedArgs
  bool more_names_than_arguments = false;
  bool no_outputs = false;  // no result, EXCEPINFO or argument error
};

bool Malformed(const Shape& shape) {
  return shape.no_argument_array || shape.no_name_array || shape.more_names_than_arguments;
}

// "" when `hr` and what came with it are a proper answer, else what is wrong.
std::string Judge(HRESULT hr, EXCEPINFO& exception, const VARIANT& result, const Shape& shape) {
  if (hr == S_OK) {
    if (V_VT(&result) == VT_BSTR && V_BSTR(&result) == nullptr) return "a NULL string result";
    return "";
  }
  if (hr == DISP_E_EXCEPTION) {
    if (shape.no_outputs) return "";
    if (exception.pfnDeferredFillIn != 0) {
      reinterpret_cast<HRESULT(STDAPICALLTYPE*)(EXCEPINFO*)>(exception.pfnDeferredFillIn)(
          &exception);
    }
    const ULONG code = static_cast<ULONG>(exception.scode);
    if ((code & 0xFFFF0000) != 0x800A0000 || (code & 0xFFFF) == 0) {
      return "DISP_E_EXCEPTION with scode " + Hex(static_cast<HRESULT>(code));
    }
    if (exception.bstrDescription == nullptr || SysStringLen(exception.bstrDescription) == 0) {
      return "DISP_E_EXCEPTION " + Hex(static_cast<HRESULT>(code)) + " without a description";
    }
    return "";
  }
  if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_DISPATCH) return "";
  if (hr == E_INVALIDARG && Malformed(shape)) return "";
  return "HRESULT " + Hex(hr);
}

std::string FlagsText(WORD flags) {
  std::string text;
  if (flags & DISPATCH_METHOD) text += "|METHOD";
  if (flags & DISPATCH_PROPERTYGET) text += "|GET";
  if (flags & DISPATCH_PROPERTYPUT) text += "|PUT";
  if (flags & DISPATCH_PROPERTYPUTREF) text += "|PUTREF";
  return text.empty() ? "0" : text.substr(1);
}

std::vector<Shape> ShapesFor(const HostileValues& values, int inputs, WORD flags) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const int count = put ? 1 : inputs;
  const std::vector<DISPID> put_name =
      put ? std::vector<DISPID>{DISPID_PROPERTYPUT} : std::vector<DISPID>{};
  auto repeat = [](const VARIANT& value, int n) { return std::vector<VARIANT>(n, value); };
  std::vector<Shape> shapes;
  shapes.push_back({"no arguments", {}, {}});
  for (const auto& value : values.all()) {
    shapes.push_back({value.name, repeat(value.value, count > 0 ? count : 1), put_name});
  }
  shapes.push_back({"one too many", repeat(values.text().value, count + 1), put_name});
  shapes.push_back({"one too many Empty", repeat(values.empty().value, count + 1), put_name});
  if (count >= 2) shapes.push_back({"one too few", repeat(values.text().value, count - 1), {}});
  shapes.push_back({"named first parameter", repeat(values.text().value, 1), {0}});
  shapes.push_back({"named unknown parameter", repeat(values.text().value, 1), {77}});
  shapes.push_back({"two names", repeat(values.text().value, 2), {DISPID_PROPERTYPUT, 0}});
  if (put) shapes.push_back({"put without its name", repeat(values.text().value, 1), {}});
  Shape shape{"no argument array", repeat(values.text().value, 1), {}};
  shape.no_argument_array = true;
  shapes.push_back(shape);
  shape = {"no name array", repeat(values.text().value, 1), {0}};
  shape.no_name_array = true;
  shapes.push_back(shape);
  shape = {"more names than arguments", repeat(values.text().value, 1), {DISPID_PROPERTYPUT, 0}};
  shape.more_names_than_arguments = true;
  shapes.push_back(shape);
  for (const auto* value : {&values.text(), &values.host()}) {
    shape = {"no outputs, " + value->name, repeat(value->value, count > 0 ? count : 1), put_name};
    shape.no_outputs = true;
    shapes.push_back(shape);
  }
  return shapes;
}

// Puts the object where the workflow members run harmlessly: no device
// function, an existing drop folder, a vendor program that is not there.
void MakeWorkflowsHarmless(_clsTavirex* object) {
  Let(object, &_clsTavirex::put_DeviceName, L"");
  Let(object, &_clsTavirex::put_EquipDataPath, kDrop);
  Let(object, &_clsTavirex::put_EquipProgPathFName, kMissingProgram);
  Let(object, &_clsTavirex::put_PATIENTID, L"NOBODY");
}

// Every member with every shape and every invoke flag; the workflow members
// run only with no arguments, Capture into "File Not Found", Review into an
// empty image list window that the watcher closes.
void HostileDispatch() {
  WriteQuietHostIni();
  HostObject host;
  _clsTavirex* object = CreateObject();
  Check(object != nullptr, "an object for the hostile calls");
  if (object == nullptr) return;
  IDispatch* dispatch = nullptr;
  object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  int calls = 0;
  int captures = 0;
  int reviews = 0;
  {
    Interface members(dispatch);
    HostileValues values(&host);
    Check(members.functions().size() > 100, "the function table from the type library: " +
                                                std::to_string(members.functions().size()));
    // The references to the host object: its own, the two hostile values
    // and one for each object field that holds it.
    auto fields_holding_host = [&] {
      LONG held = 0;
      for (const Function& field : members.functions()) {
        if (field.kind != INVOKE_PROPERTYGET || field.params.size() != 1 ||
            field.params[0].tdesc.vt != VT_PTR ||
            field.params[0].tdesc.lptdesc->vt != VT_DISPATCH) {
          continue;
        }
        VARIANT value;
        VariantInit(&value);
        DISPPARAMS none{};
        dispatch->Invoke(field.id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                         &value, nullptr, nullptr);
        if (V_VT(&value) == VT_DISPATCH && V_DISPATCH(&value) == &host) ++held;
        VariantClear(&value);
      }
      return held;
    };
    std::vector<MEMBERID> done;
    for (const Function& function : members.functions()) {
      if (std::find(done.begin(), done.end(), function.id) != done.end()) continue;
      done.push_back(function.id);
      const Function* method = members.Find(function.id, INVOKE_FUNC);
      const int inputs = method != nullptr ? InputCount(*method) : 0;
      const bool capture = function.name == "CaptureDevice";
      const bool review = function.name == "ReviewDevice";
      const bool workflow = capture || review || function.name == "DoDeviceFunction";
      int wrong = 0;
      std::string first_wrong;
      for (WORD flags : {WORD(DISPATCH_METHOD), WORD(DISPATCH_PROPERTYGET),
                         WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET), WORD(DISPATCH_PROPERTYPUT),
                         WORD(DISPATCH_PROPERTYPUTREF)}) {
        for (Shape& shape : ShapesFor(values, inputs, flags)) {
          const std::string call = function.name + " " + FlagsText(flags) + " with " + shape.name;
          if (workflow) MakeWorkflowsHarmless(object);
          std::vector<VARIANT> reversed(shape.arguments.rbegin(), shape.arguments.rend());
          DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(),
                            shape.named.empty() ? nullptr : shape.named.data(),
                            static_cast<UINT>(reversed.size()),
                            static_cast<UINT>(shape.named.size())};
          if (shape.no_argument_array) params.rgvarg = nullptr;
          if (shape.no_name_array) params.rgdispidNamedArgs = nullptr;
          if (shape.more_names_than_arguments) params.cArgs = 1;
          VARIANT result;
          VariantInit(&result);
          EXCEPINFO exception{};
          UINT argument_error = 0;
          Doing(call);
          const LONG references = host.references();
          HRESULT hr = dispatch->Invoke(function.id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                        shape.no_outputs ? nullptr : &result,
                                        shape.no_outputs ? nullptr : &exception,
                                        shape.no_outputs ? nullptr : &argument_error);
          ++calls;
          std::string why = Judge(hr, exception, result, shape);
          if (why.empty()) why = values.Changed().empty() ? "" : "changed " + values.Changed();
          VariantClear(&result);
          SysFreeString(exception.bstrSource);
          SysFreeString(exception.bstrDescription);
          SysFreeString(exception.bstrHelpFile);
          if (host.references() != references && why.empty() &&
              host.references() != 3 + fields_holding_host()) {
            why = "the host object has " + std::to_string(host.references()) + " references, had " +
                  std::to_string(references);
          }
          for (const Seen& seen : g_watcher->Take()) {
            if (capture && seen.box && seen.text == "File Not Found") {
              ++captures;
            } else if (review && !seen.box) {
              ++reviews;
            } else if (why.empty()) {
              why = "unexpected" + Describe({seen});
            }
          }
          if (!why.empty() && wrong++ == 0) first_wrong = call + ": " + why;
        }
      }
      Check(wrong == 0, function.name + ": " + std::to_string(wrong) + " improper answers" +
                            (wrong > 0 ? ", first: " + first_wrong : ""));
    }
  }
  Doing("hostile calls: the object afterwards");
  Check(captures > 0 && reviews > 0,
        "the workflow members ran when called properly: " + std::to_string(captures) +
            " captures, " + std::to_string(reviews) + " reviews");
  std::printf(
      "hostile calls through IDispatch: %d; CaptureDevice ran %d times into \"File Not "
      "Found\", ReviewDevice %d times into its window\n",
      calls, captures, reviews);

  // Still works.
  Let(object, &_clsTavirex::put_PATIENTID, L"AFTER-1");
  Check(Get(object, &_clsTavirex::get_PATIENTID) == L"AFTER-1",
        "PATIENTID round trip after the hostile calls");
  Check(FixString(object, L"d'Arcy") == L"d''Arcy", "fun_sFixString after the hostile calls");
  Check(FixStringByName(dispatch, L"d'Arcy") == L"d''Arcy",
        "fun_sFixString through IDispatch after the hostile calls");
  Check(Get(object, &_clsTavirex::get_ConnectStringParams) == L"me",
        "ConnectStringParams after the hostile calls");
  std::wstring names = DeviceNamesSummary(object);
  Check(names.rfind(L"16|", 0) == 0, "DeviceNames after the hostile calls: " + Narrow(names));
  dispatch->Release();
  object->Release();
  Check(host.references() == 1,
        "every reference to the host object given back: " + std::to_string(host.references()));
  CheckNothingShown("after the hostile calls");
}

// ---------------------------------------------------------------------------
// The function table: every pointer parameter NULL in turn gives E_POINTER
// (by-value strings and objects excepted, for which NULL is "" and Nothing),
// and a NULL string gives what "" gives.

// One argument of a function-table call, with storage for what it points to.
union Slot {
  VARIANT variant;
  BSTR string;
  IUnknown* object;
  LONG number;
  short small_number;
  VARIANT_BOOL flag;
};

struct TableCall {
  HRESULT hr = E_FAIL;
  std::string outputs;  // what came back, as text
};

std::string OutputText(VARTYPE type, const Slot& slot) {
  switch (type) {
    case VT_BSTR:
      return slot.string == nullptr
                 ? "NULL"
                 : "\"" + Narrow(std::wstring(slot.string, SysStringLen(slot.string))) + "\"";
    case VT_I4:
      return std::to_string(slot.number);
    case VT_I2:
      return std::to_string(slot.small_number);
    case VT_BOOL:
      return std::to_string(slot.flag);
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return slot.object == nullptr ? "Nothing" : "object";
    case VT_VARIANT:
      return "vt" + std::to_string(V_VT(&slot.variant));
    default:
      return "?";
  }
}

void FreeOutput(VARTYPE type, Slot& slot) {
  switch (type) {
    case VT_BSTR:
      SysFreeString(slot.string);
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (slot.object != nullptr) slot.object->Release();
      break;
    case VT_VARIANT:
      VariantClear(&slot.variant);
      break;
    default:
      break;
  }
}

// Calls `function` with a NULL pointer for parameter `null_param` (or none),
// string inputs NULL or "", a TRUE boolean and Empty variants.
TableCall CallThroughTable(_clsTavirex* object, const Function& function, int null_param,
                           bool null_strings) {
  const std::size_t count = function.params.size();
  std::vector<Slot> slots(count);
  std::vector<VARIANT> words(count);
  std::vector<VARIANTARG*> word_pointers(count);
  std::vector<VARTYPE> word_types(count, VT_I8);
  std::vector<BSTR> owned;
  for (std::size_t p = 0; p < count; ++p) {
    std::memset(&slots[p], 0, sizeof(Slot));
    const TYPEDESC& type = function.params[p].tdesc;
    const bool pointer = type.vt == VT_PTR;
    const VARTYPE target = pointer ? type.lptdesc->vt : type.vt;
    const bool input = (function.params[p].paramdesc.wParamFlags & PARAMFLAG_FOUT) == 0;
    ULONG_PTR word = 0;
    if (input && target == VT_BSTR) {
      slots[p].string = null_strings ? nullptr : SysAllocString(L"");
      if (slots[p].string != nullptr) owned.push_back(slots[p].string);
    }
    if (input && target == VT_BOOL) slots[p].flag = VARIANT_TRUE;
    if (pointer) {
      word = static_cast<int>(p) == null_param ? 0 : reinterpret_cast<ULONG_PTR>(&slots[p]);
    } else if (target == VT_BSTR) {
      word = reinterpret_cast<ULONG_PTR>(slots[p].string);
    } else if (target == VT_BOOL) {
      word = static_cast<USHORT>(slots[p].flag);
    }
    VariantInit(&words[p]);
    V_VT(&words[p]) = VT_I8;
    V_I8(&words[p]) = static_cast<LONGLONG>(word);
    word_pointers[p] = &words[p];
  }
  VARIANT returned;
  VariantInit(&returned);
  TableCall call;
  HRESULT hr =
      DispCallFunc(object, function.vtable_offset, CC_STDCALL, VT_ERROR, static_cast<UINT>(count),
                   word_types.data(), word_pointers.data(), &returned);
  call.hr = FAILED(hr) ? hr : V_ERROR(&returned);
  if (FAILED(hr)) call.outputs = "DispCallFunc failed " + Hex(hr);
  for (std::size_t p = 0; p < count; ++p) {
    const TYPEDESC& type = function.params[p].tdesc;
    if (type.vt != VT_PTR || (function.params[p].paramdesc.wParamFlags & PARAMFLAG_FOUT) == 0) {
      continue;
    }
    if (static_cast<int>(p) != null_param) {
      call.outputs += " " + OutputText(type.lptdesc->vt, slots[p]);
      FreeOutput(type.lptdesc->vt, slots[p]);
    }
  }
  for (BSTR text : owned) SysFreeString(text);
  return call;
}

void FunctionTable() {
  WriteQuietHostIni();
  _clsTavirex* object = CreateObject();
  Check(object != nullptr, "an object for the function-table calls");
  if (object == nullptr) return;
  IDispatch* dispatch = nullptr;
  object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  Interface members(dispatch);
  int null_pointers = 0;
  for (const Function& function : members.functions()) {
    const bool workflow = function.name == "CaptureDevice" || function.name == "ReviewDevice" ||
                          function.name == "DoDeviceFunction";
    bool string_input = false;
    for (std::size_t p = 0; p < function.params.size(); ++p) {
      const TYPEDESC& type = function.params[p].tdesc;
      const bool input = (function.params[p].paramdesc.wParamFlags & PARAMFLAG_FOUT) == 0;
      const VARTYPE target = type.vt == VT_PTR ? type.lptdesc->vt : type.vt;
      string_input = string_input || (input && target == VT_BSTR);
      if (type.vt != VT_PTR) continue;  // NULL is a proper string or object here
      // A stale description that an E_POINTER must not leave behind.
      ICreateErrorInfo* create = nullptr;
      IErrorInfo* stale = nullptr;
      if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetDescription(const_cast<LPOLESTR>(L"stale"));
        create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&stale));
        create->Release();
      }
      SetErrorInfo(0, stale);
      if (stale != nullptr) stale->Release();
      if (workflow) MakeWorkflowsHarmless(object);
      Doing("function table: " + function.name + " with parameter " + std::to_string(p) + " NULL");
      TableCall call = CallThroughTable(object, function, static_cast<int>(p), false);
      ++null_pointers;
      Check(call.hr == E_POINTER, function.name + " (kind " + std::to_string(function.kind) +
                                      ") with parameter " + std::to_string(p) +
                                      " NULL: " + Hex(call.hr) + call.outputs);
      IErrorInfo* left = nullptr;
      Check(GetErrorInfo(0, &left) == S_FALSE,
            function.name + ": E_POINTER leaves no error information");
      if (left != nullptr) left->Release();
    }
    if (!string_input || workflow) continue;
    // NULL strings against "": the same answer, and for a Let the same Get.
    Doing("function table: " + function.name + " with NULL strings");
    const Function* getter = function.kind == INVOKE_PROPERTYPUT
                                 ? members.Find(function.id, INVOKE_PROPERTYGET)
                                 : nullptr;
    TableCall with_null = CallThroughTable(object, function, -1, true);
    if (getter != nullptr) with_null.outputs += CallThroughTable(object, *getter, -1, true).outputs;
    TableCall with_empty = CallThroughTable(object, function, -1, false);
    if (getter != nullptr)
      with_empty.outputs += CallThroughTable(object, *getter, -1, true).outputs;
    Check(with_null.hr == with_empty.hr && with_null.outputs == with_empty.outputs,
          function.name + (getter != nullptr ? " Let, then Get," : "") +
              " with NULL strings: " + Hex(with_null.hr) + with_null.outputs +
              "; with \"\": " + Hex(with_empty.hr) + with_empty.outputs);
    if (getter != nullptr) {
      Check(with_null.outputs == " \"\"", function.name + " Let NULL reads back as \"\"");
    }
  }
  Check(null_pointers > 100,
        "NULL pointers tried through the function table: " + std::to_string(null_pointers));
  // Left in the harmless state by the loop, so an accidental run does no harm;
  // now the object still answers properly.
  Check(Get(object, &_clsTavirex::get_ConnectStringParams) == L"me",
        "ConnectStringParams after the NULL pointers");
  dispatch->Release();
  object->Release();
  CheckNothingShown("function table");
}

// ---------------------------------------------------------------------------
// 10,000 objects: every reference given back, DllCanUnloadNow afterwards.
// (Speed and memory figures belong to the benchmarks, not to tests.)

void Leaks(const std::wstring& dll_path) {
  WriteQuietHostIni();
  HMODULE dll = LoadLibraryW(dll_path.c_str());
  Check(dll != nullptr, "LoadLibrary of the DLL");
  if (dll == nullptr) return;
  using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
  auto can_unload = reinterpret_cast<CanUnloadNowFunction>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  Check(can_unload != nullptr, "DllCanUnloadNow exported");
  if (can_unload == nullptr) return;
  Check(can_unload() == S_OK, "nothing alive before the 10,000 objects");

  HostObject host;
  int wrong = 0;
  std::string first_wrong;
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok && wrong++ == 0) first_wrong = what;
  };
  auto one_object = [&](int round) {
    if (round % 500 == 0) Doing("10,000 objects: object " + std::to_string(round));
    HRESULT hr = E_FAIL;
    _clsTavirex* object = CreateObject(&hr);
    expect(object != nullptr, "CoCreateInstance " + Hex(hr));
    if (object == nullptr) return;
    std::wstring id = L"LEAK-" + std::to_wstring(round);
    Let(object, &_clsTavirex::put_PATIENTID, id);
    expect(Get(object, &_clsTavirex::get_PATIENTID) == id, "PATIENTID");
    expect(FixString(object, L"a'b") == L"a''b", "fun_sFixString");
    object->putref_mobjPatient(&host);
    std::wstring names = DeviceNamesSummary(object);
    expect(names.rfind(L"16|", 0) == 0, "DeviceNames " + Narrow(names));
    // A failure, which leaves error information behind.
    VARIANT null_name;
    V_VT(&null_name) = VT_NULL;
    BSTR folder = nullptr;
    BSTR result = nullptr;
    expect(object->ParseFileName(&null_name, &folder, &result) == HRESULT(0x800A005E),
           "ParseFileName(Null)");
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error != nullptr) error->Release();
    object->Release();
  };

  for (int round = 0; round < 10000; ++round) one_object(round);
  Check(wrong == 0, "10,000 objects: " + std::to_string(wrong) + " wrong" +
                        (wrong > 0 ? ", first: " + first_wrong : ""));
  Check(host.references() == 1, "the host object given back by every object: " +
                                    std::to_string(host.references()) + " references");
  Check(can_unload() == S_OK, "DllCanUnloadNow after 10,000 objects");
  FreeLibrary(dll);
  CheckNothingShown("10,000 objects");
}

void MakeFolders() {
  std::error_code ignored;
  fs::remove_all(kRoot, ignored);
  for (const wchar_t* folder : {kDataDir, kImages, kDrop}) fs::create_directories(folder);
  fs::create_directories(fs::path(kRoot) / "Programs");
  for (const char* name :
       {"PAT1_100_Vessara_a.jpg", "PAT1_101_Vessara_b.jpg", "PAT1_102_Vessara_c.tif",
        "PAT2_1_Vessara_a.jpg", "PAT10_1_Vessara.jpg", "PAT1.jpg"}) {
    std::ofstream(fs::path(kImages) / name, std::ios::binary) << "sample\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: robustness_test_host <path of tavirex.dll>\n");
    return 2;
  }
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(&ReportCrash);
  std::wstring dll_path(MAX_PATH, L'\0');
  dll_path.resize(MultiByteToWideChar(CP_ACP, 0, argv[1], -1, dll_path.data(), MAX_PATH) - 1);
  MakeFolders();
  CoInitialize(nullptr);
  {
    Watcher watcher;
    g_watcher = &watcher;
    TwoApartments();  // first: the start-up routine runs with the first objects
    MarshalledObject();
    HostileDispatch();
    FunctionTable();
    Leaks(dll_path);
    Doing("finishing");
    g_watcher = nullptr;
  }
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
