// What the wine64 COM hosts of tavirex.dll share, down to the user: a watcher
// thread that gives each box or window of the process the next scripted
// answer, dismisses the others (Take collects them) and ends the run when one
// activity hangs. A host prints "N passed, N failed" last.
#pragma once
// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <commctrl.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com/tavirex_h.h"

namespace host {

inline std::mutex g_results;
inline int g_passed = 0;
inline int g_failed = 0;

inline void Check(bool condition, const std::string& what) {
  std::lock_guard<std::mutex> lock(g_results);
  ++(condition ? g_passed : g_failed);
  if (!condition) std::printf("FAIL: %s\n", what.c_str());
}

inline void CheckEqual(const std::string& actual, const std::string& expected,
                       const std::string& what) {
  Check(actual == expected, what + ": \"" + actual + "\", expected \"" + expected + "\"");
}

inline std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

inline void CheckHr(HRESULT actual, HRESULT expected, const std::string& what) {
  Check(actual == expected, what + ": " + Hex(actual) + ", expected " + Hex(expected));
}

// For a crash or a hang; the stuck thread may hold a lock.
[[noreturn]] inline void Abandon(const std::string& why) {
  std::printf("FAIL: %s\n%d passed, %d failed\n", why.c_str(), g_passed, g_failed + 1);
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

inline std::mutex g_activity_lock;
inline std::string g_activity = "starting";
inline auto g_activity_since = std::chrono::steady_clock::now();

inline void Doing(std::string what) {
  std::lock_guard<std::mutex> lock(g_activity_lock);
  g_activity = std::move(what);
  g_activity_since = std::chrono::steady_clock::now();
}

inline void StartHost() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* exception) -> LONG {
    Abandon("crash " + Hex(static_cast<HRESULT>(exception->ExceptionRecord->ExceptionCode)) +
            " during: " + (g_activity_lock.try_lock() ? g_activity : "?"));
  });
  CoInitialize(nullptr);
}

inline int FinishHost() {
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}

inline std::string Narrow(const std::wstring& text) {
  std::string result(text.size() * 4, '\0');
  result.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    result.data(), static_cast<int>(result.size()), nullptr,
                                    nullptr));
  return result;
}

inline std::string Narrow(const wchar_t* text) {
  return text != nullptr ? Narrow(std::wstring(text)) : "";
}

inline std::wstring Wide(const std::string& text) {
  std::wstring result(text.size(), L'\0');
  result.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    result.data(), static_cast<int>(result.size())));
  return result;
}

inline std::string Join(const std::vector<std::string>& items, const char* separator = "|") {
  std::string result;
  for (const std::string& item : items) result += (result.empty() ? "" : separator) + item;
  return result;
}

// A variant of `type` whose value has the bits given.
inline VARIANT Variant(VARTYPE type, ULONGLONG bits = 0) {
  VARIANT value{};
  V_VT(&value) = type;
  V_UI8(&value) = bits;
  return value;
}

inline ULONG_PTR Bits(const void* pointer) { return reinterpret_cast<ULONG_PTR>(pointer); }

// Owns a BSTR; never copied, and filled through out() once.
struct Bstr {
  BSTR value = nullptr;
  Bstr() = default;
  explicit Bstr(const std::wstring& text) : value(SysAllocString(text.c_str())) {}
  ~Bstr() { SysFreeString(value); }
  BSTR* out() { return &value; }
  std::string text() const { return Narrow(value); }
};

inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds) {
  for (int waited = 0; !condition(); waited += 20) {
    if (waited >= milliseconds) return false;
    Sleep(20);
  }
  return true;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline void WriteWindowsIni(const char* name, const std::vector<std::string>& lines) {
  wchar_t folder[MAX_PATH];
  GetWindowsDirectoryW(folder, MAX_PATH);
  WriteFile(std::filesystem::path(folder) / name, Join(lines, "\r\n") + "\r\n");
}

inline _clsTavirex* CreateTavirex() {
  CLSID clsid{};
  _clsTavirex* object = nullptr;
  HRESULT hr = CLSIDFromProgID(L"Tavirex.clsTavirex", &clsid);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsTavirex,
                          reinterpret_cast<void**>(&object));
  }
  CheckHr(hr, S_OK, "creating Tavirex.clsTavirex by its ProgID");
  return object;
}

inline void SetText(_clsTavirex* object, HRESULT (STDMETHODCALLTYPE _clsTavirex::*put)(BSTR*),
                    const std::wstring& value) {
  Bstr text(value);
  BSTR pointer = text.value;
  (object->*put)(&pointer);
}

inline IDispatch* DispatchOf(IUnknown* object) {
  IDispatch* dispatch = nullptr;
  object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  return dispatch;
}

inline DISPID IdOf(IDispatch* object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

inline void Clear(EXCEPINFO& exception) {
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  exception = {};
}

// Arguments in call order; a Let or Set names its value DISPID_PROPERTYPUT.
inline HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments,
                      VARIANT* result, EXCEPINFO* exception = nullptr) {
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPID put = DISPID_PROPERTYPUT;
  const UINT named = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  DISPPARAMS params{reversed.data(), &put, static_cast<UINT>(reversed.size()), named};
  EXCEPINFO ignored{};
  if (result != nullptr) VariantInit(result);
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                              exception != nullptr ? exception : &ignored, nullptr);
  Clear(ignored);
  return hr;
}

inline std::string CallText(IDispatch* object, const wchar_t* name) {
  VARIANT result;
  HRESULT hr =
      Invoke(object, IdOf(object, name), DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result);
  std::string text = V_VT(&result) == VT_BSTR ? Narrow(V_BSTR(&result)) : "<" + Hex(hr) + ">";
  VariantClear(&result);
  return text;
}

// A function of the table at `offset`, each argument one machine word.
inline HRESULT CallTable(IUnknown* object, short offset, std::vector<ULONG_PTR> words) {
  std::vector<VARIANT> arguments(words.size());
  std::vector<VARIANTARG*> pointers;
  std::vector<VARTYPE> types(words.size(), VT_UI8);
  for (std::size_t i = 0; i < words.size(); ++i) {
    V_UI8(&arguments[i]) = words[i];
    pointers.push_back(&arguments[i]);
  }
  VARIANT returned{};
  HRESULT hr = DispCallFunc(object, offset, CC_STDCALL, VT_ERROR, static_cast<UINT>(words.size()),
                            types.data(), pointers.data(), &returned);
  return FAILED(hr) ? hr : V_ERROR(&returned);
}

// A value as text, exactly: strings to the last unit, objects by address.
inline std::wstring Show(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_BSTR:
      return V_BSTR(&value) == nullptr
                 ? L"NULL"
                 : L"\"" + std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value))) + L"\"";
    case VT_BOOL:
      return L"bool " + std::to_wstring(V_BOOL(&value));
    case VT_I4:
      return std::to_wstring(V_I4(&value));
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return L"object " + std::to_wstring(reinterpret_cast<ULONG_PTR>(V_UNKNOWN(&value)));
    default:
      return L"vt " + std::to_wstring(V_VT(&value));
  }
}

// _clsTavirex's function table as its type library describes it.
struct Param {
  VARTYPE vt;    // VT_PTR for a pointer
  VARTYPE base;  // what it passes, through the pointer
  USHORT flags;
};
struct Function {
  std::string name;
  MEMBERID id;
  INVOKEKIND kind;
  short offset;
  std::vector<Param> params;
};

// The dispatch part of the dual interface refers to the table as its -1.
inline std::vector<Function> FunctionsOf(IDispatch* object, ITypeInfo** table = nullptr) {
  std::vector<Function> functions;
  HREFTYPE reference = 0;
  ITypeInfo *info = nullptr, *functions_info = nullptr;
  object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  if (info != nullptr && SUCCEEDED(info->GetRefTypeOfImplType(-1, &reference))) {
    info->GetRefTypeInfo(reference, &functions_info);
  }
  if (info != nullptr) info->Release();
  if (functions_info == nullptr) return functions;
  TYPEATTR* attributes = nullptr;
  functions_info->GetTypeAttr(&attributes);
  for (int i = 0; i < attributes->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    functions_info->GetFuncDesc(i, &desc);
    Bstr name;
    UINT count = 0;
    functions_info->GetNames(desc->memid, name.out(), 1, &count);
    functions.push_back({name.text(), desc->memid, desc->invkind, desc->oVft, {}});
    for (int p = 0; p < desc->cParams; ++p) {
      const TYPEDESC& type = desc->lprgelemdescParam[p].tdesc;
      functions.back().params.push_back({type.vt, type.vt == VT_PTR ? type.lptdesc->vt : type.vt,
                                         desc->lprgelemdescParam[p].paramdesc.wParamFlags});
    }
    functions_info->ReleaseFuncDesc(desc);
  }
  functions_info->ReleaseTypeAttr(attributes);
  if (table != nullptr) *table = functions_info;
  if (table == nullptr) functions_info->Release();
  return functions;
}

inline const Function* Find(const std::vector<Function>& functions, MEMBERID id, int kinds) {
  for (const Function& function : functions) {
    if (function.id == id && (function.kind & kinds) != 0) return &function;
  }
  return nullptr;
}

inline HRESULT CanUnloadNow() {
  auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"tavirex.dll"), "DllCanUnloadNow")));
  return can_unload != nullptr ? can_unload() : E_FAIL;
}

// A host data object that answers no member and counts its references.
class CountedObject final : public IDispatch {
 public:
  LONG references() const { return references_; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ? this : nullptr;
    if (*object != nullptr) AddRef();
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references_); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
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

// A click at the middle of an item of a header or a list.
inline void Click(HWND control, UINT get_rect, int item, bool twice) {
  RECT rect{LVIR_LABEL, 0, 0, 0};
  SendMessageW(control, get_rect, item, reinterpret_cast<LPARAM>(&rect));
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  for (int i = 0; i <= twice; ++i) {
    PostMessageW(control, i == 0 ? WM_LBUTTONDOWN : WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
  }
}

// A message box, or the image list window (box false).
struct Seen {
  HWND window = nullptr;
  bool box = true;
  std::string title;
  std::string text;
  std::vector<int> buttons;
};

inline std::string Describe(const Seen& seen) {
  std::string result = (seen.box ? "[box \"" : "[window \"") + seen.title + "\"";
  if (seen.box) result += " \"" + seen.text + "\" buttons";
  for (int id : seen.buttons) result += " " + std::to_string(id);
  return result + "]";
}

inline void Press(const Seen& box, int button) {
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
}

class Watcher {
 public:
  using Answer = std::function<void(const Seen&)>;

  explicit Watcher(int hang_seconds = 60) : hang_(hang_seconds), thread_([this] { Run(); }) {}
  ~Watcher() {
    stop_ = true;
    thread_.join();
  }

  // The next box or window goes to `answer`, on the watcher's thread.
  void Script(Answer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(std::move(answer));
  }
  std::vector<Seen> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(seen_, {});
  }
  void CheckNothingShown(const std::string& what) {
    std::string shown;
    for (const Seen& seen : Take()) shown += " " + Describe(seen);
    Check(shown.empty(), what + ": nothing shown, but" + shown);
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameW(window, name, 64);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        (std::wstring(name) == L"#32770" || std::wstring(name) == L"TavirexImageListWindow")) {
      reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
  }

  static Seen Read(HWND window) {
    wchar_t text[1024] = {};
    GetClassNameW(window, text, 1024);
    Seen seen{window, std::wstring(text) == L"#32770", "", "", {}};
    GetWindowTextW(window, text, 1024);
    seen.title = Narrow(text);
    text[0] = L'\0';
    GetDlgItemTextW(window, 0xFFFF, text, 1024);
    seen.text = Narrow(text);
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
      HWND button = GetDlgItem(window, id);
      if (seen.box && button != nullptr && IsWindowVisible(button)) seen.buttons.push_back(id);
    }
    return seen;
  }

  void Run() {
    while (!stop_) {
      std::vector<HWND> found;
      EnumWindows(&Watcher::Collect, reinterpret_cast<LPARAM>(&found));
      for (HWND window : found) {
        const Seen seen = Read(window);
        Answer answer;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (!script_.empty()) answer = std::move(script_.front());
          if (answer) script_.pop_front();
          if (!answer) seen_.push_back(seen);
        }
        auto gone = [&] { return !IsWindow(window) || !IsWindowVisible(window); };
        if (answer) {
          answer(seen);
          if (WaitUntil(gone, 10000)) continue;
          Check(false, Describe(seen) + " stayed open after its answer");
        }
        if (seen.box) Press(seen, seen.buttons.empty() ? IDOK : seen.buttons.front());
        if (!seen.box) PostMessageW(window, WM_CLOSE, 0, 0);
        WaitUntil(gone, 5000);
      }
      {
        std::lock_guard<std::mutex> lock(g_activity_lock);
        if (std::chrono::steady_clock::now() - g_activity_since > hang_) {
          Abandon("no progress for " + std::to_string(hang_.count()) + " s during: " + g_activity);
        }
      }
      Sleep(20);
    }
  }

  std::chrono::seconds hang_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::deque<Answer> script_;
  std::vector<Seen> seen_;
  std::thread thread_;
};

}  // namespace host
