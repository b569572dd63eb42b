// What the wine64 COM hosts of tavirex.dll share: counted checks, text
// helpers, the INI writer, calls through IDispatch and through the function
// table, a host object that counts its references, readers of the image list
// window, and the user: a watcher thread that answers each box or window of
// this process with the next scripted answer, dismisses the others (a test
// collects them with Take), and ends the run when one activity hangs.
// Each host prints "N passed, N failed" last and exits 1 on any failure.
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
#include <set>
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
  if (condition) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAIL: %s\n", what.c_str());
  }
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

// Ends the run at once, for a crash or a hang: the thread holding the lock
// of the results may be the stuck one.
[[noreturn]] inline void Abandon(const std::string& why) {
  std::printf("FAIL: %s\n%d passed, %d failed\n", why.c_str(), g_passed, g_failed + 1);
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

// What the host is doing, named in the report of a crash or a hang.
inline std::mutex g_activity_lock;
inline std::string g_activity = "starting";
inline std::chrono::steady_clock::time_point g_activity_since = std::chrono::steady_clock::now();

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

// Text: the host's own is UTF-8, as the plug-in's.
inline std::string Narrow(const wchar_t* text, int length = -1) {
  if (text == nullptr) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string result(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
  if (length < 0 && !result.empty()) result.pop_back();
  return result;
}

inline std::wstring Wide(const std::string& text) {
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* out() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  BSTR get() const { return value_; }
  std::string text() const { return Narrow(value_); }

 private:
  BSTR value_ = nullptr;
};

inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds) {
  for (int waited = 0; !condition(); waited += 50) {
    if (waited >= milliseconds) return false;
    Sleep(50);
  }
  return true;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// An INI file of the Windows folder, CRLF lines.
inline void WriteWindowsIni(const char* name, const std::vector<std::string>& lines) {
  wchar_t folder[MAX_PATH];
  GetWindowsDirectoryW(folder, MAX_PATH);
  std::string content;
  for (const std::string& line : lines) content += line + "\r\n";
  WriteFile(std::wstring(folder) + L"\\" + Wide(name), content);
}

// ---------------------------------------------------------------------------
// Calls.

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

// Arguments in call order; a Let or Set names its value as DISPID_PROPERTYPUT.
inline HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments,
                      VARIANT* result, EXCEPINFO* exception = nullptr) {
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPID put = DISPID_PROPERTYPUT;
  bool named = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  DISPPARAMS params{reversed.data(), named ? &put : nullptr, static_cast<UINT>(reversed.size()),
                    named ? 1u : 0u};
  EXCEPINFO ignored{};
  if (result != nullptr) VariantInit(result);
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                              exception != nullptr ? exception : &ignored, nullptr);
  Clear(ignored);
  return hr;
}

// A method's result as text through IDispatch, as a late-bound host calls it.
inline std::string CallText(IDispatch* object, const wchar_t* name) {
  VARIANT result;
  HRESULT hr = Invoke(object, IdOf(object, name), DISPATCH_METHOD, {}, &result);
  std::string text = SUCCEEDED(hr) && V_VT(&result) == VT_BSTR ? Narrow(V_BSTR(&result))
                                                               : "<" + Hex(hr) + ">";
  VariantClear(&result);
  return text;
}

// A function of the table at `offset`, each argument one machine word.
inline HRESULT CallTable(IUnknown* object, short offset, std::vector<ULONG_PTR> words) {
  std::vector<VARIANT> arguments(words.size());
  std::vector<VARIANTARG*> pointers;
  std::vector<VARTYPE> types(words.size(), VT_I8);
  for (std::size_t i = 0; i < words.size(); ++i) {
    V_VT(&arguments[i]) = VT_I8;
    V_I8(&arguments[i]) = static_cast<LONGLONG>(words[i]);
    pointers.push_back(&arguments[i]);
  }
  VARIANT returned;
  VariantInit(&returned);
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
    case VT_I2:
      return L"short " + std::to_wstring(V_I2(&value));
    case VT_I4:
      return std::to_wstring(V_I4(&value));
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return L"object " + std::to_wstring(reinterpret_cast<ULONG_PTR>(V_UNKNOWN(&value)));
    default:
      return L"vt " + std::to_wstring(V_VT(&value));
  }
}

// The functions of _clsTavirex's table as its type library describes them.
struct Function {
  std::string name;
  MEMBERID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  short offset = 0;
  std::vector<ELEMDESC> params;  // their types point into the type info, held by Members
};

inline bool IsRetval(const ELEMDESC& param) {
  return (param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0;
}

inline VARTYPE BaseType(const ELEMDESC& param) {
  return param.tdesc.vt == VT_PTR ? param.tdesc.lptdesc->vt : param.tdesc.vt;
}

class Members {
 public:
  // `info` describes the dispatch part of the dual interface; the table is
  // its reference -1.
  explicit Members(ITypeInfo* info) {
    HREFTYPE reference = 0;
    if (info == nullptr || FAILED(info->GetRefTypeOfImplType(-1, &reference)) ||
        FAILED(info->GetRefTypeInfo(reference, &table_))) {
      return;
    }
    TYPEATTR* attributes = nullptr;
    table_->GetTypeAttr(&attributes);
    for (int i = 0; i < attributes->cFuncs; ++i) {
      FUNCDESC* desc = nullptr;
      table_->GetFuncDesc(i, &desc);
      descs_.push_back(desc);
      Bstr name;
      UINT count = 0;
      table_->GetNames(desc->memid, name.out(), 1, &count);
      functions_.push_back({name.text(), desc->memid, desc->invkind, desc->oVft,
                            {desc->lprgelemdescParam, desc->lprgelemdescParam + desc->cParams}});
    }
    table_->ReleaseTypeAttr(attributes);
  }
  ~Members() {
    for (FUNCDESC* desc : descs_) table_->ReleaseFuncDesc(desc);
    if (table_ != nullptr) table_->Release();
  }
  Members(const Members&) = delete;
  Members& operator=(const Members&) = delete;

  ITypeInfo* table() const { return table_; }
  const std::vector<Function>& functions() const { return functions_; }
  const Function* Find(MEMBERID id, int kinds) const {
    for (const Function& function : functions_) {
      if (function.id == id && (function.kind & kinds) != 0) return &function;
    }
    return nullptr;
  }

 private:
  ITypeInfo* table_ = nullptr;
  std::vector<FUNCDESC*> descs_;
  std::vector<Function> functions_;
};

inline HRESULT CanUnloadNow() {
  auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"tavirex.dll"), "DllCanUnloadNow")));
  return can_unload != nullptr ? can_unload() : E_FAIL;
}

// A host data object that answers no member and counts its references.
class CountedObject final : public IDispatch {
 public:
  LONG references() const { return references_; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references_); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return count != nullptr ? S_OK : E_POINTER;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
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
// The image list window, worked as its user works it.

inline HWND ChildOfClass(HWND window, const wchar_t* window_class) {
  return FindWindowExW(window, nullptr, window_class, nullptr);
}

inline std::vector<std::vector<std::string>> ReadRows(HWND list, int columns = 5) {
  std::vector<std::vector<std::string>> rows;
  const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    rows.emplace_back();
    for (int c = 0; c < columns; ++c) {
      wchar_t text[512] = {};
      LVITEMW item{};
      item.iSubItem = c;
      item.pszText = text;
      item.cchTextMax = 512;
      SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
      rows.back().push_back(Narrow(text));
    }
  }
  return rows;
}

inline std::string Describe(const std::vector<std::vector<std::string>>& rows) {
  std::string result;
  for (const auto& row : rows) {
    result += " [";
    for (const std::string& cell : row) result += cell + (&cell == &row.back() ? "]" : "|");
  }
  return result;
}

inline std::vector<std::string> Headers(HWND list) {
  std::vector<std::string> headers;
  for (int i = 0;; ++i) {
    wchar_t text[256] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 256;
    if (!SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column))) return headers;
    headers.push_back(Narrow(text));
  }
}

// A mouse click at the middle of a rectangle of `control`.
inline void Click(HWND control, const RECT& rect, bool twice = false) {
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
  if (!twice) return;
  PostMessageW(control, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
}

inline void ClickHeader(HWND list, int index) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  RECT rect{};
  SendMessageW(header, HDM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
  Click(header, rect);
}

inline void DoubleClickRow(HWND list, int index) {
  RECT rect{LVIR_LABEL, 0, 0, 0};
  SendMessageW(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
  Click(list, rect, true);
}

// ---------------------------------------------------------------------------
// The user.

// A message box, or the image list window (box false).
struct Seen {
  HWND window = nullptr;
  bool box = true;
  std::string title;
  std::string text;
  std::set<int> buttons;
  bool critical = false;
};

inline std::string Describe(const Seen& seen) {
  std::string result = (seen.box ? "[box \"" : "[window \"") + seen.title + "\"";
  if (seen.box) result += " \"" + seen.text + "\" buttons";
  for (int id : seen.buttons) result += " " + std::to_string(id);
  return result + (seen.critical ? " critical]" : "]");
}

inline void Press(const Seen& box, int button) {
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
}

inline void Dismiss(const Seen& seen) {
  if (seen.box) {
    Press(seen, seen.buttons.empty() ? IDOK : *seen.buttons.begin());
  } else {
    PostMessageW(seen.window, WM_CLOSE, 0, 0);
  }
}

class Watcher {
 public:
  using Answer = std::function<void(const Seen&)>;

  explicit Watcher(int hang_seconds = 60) : hang_(hang_seconds), thread_([this] { Run(); }) {}
  ~Watcher() {
    stop_ = true;
    thread_.join();
  }

  // The next box or window is given to `answer`, on the watcher's thread.
  void Script(Answer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(std::move(answer));
  }
  // Those no answer was scripted for, since the last call.
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
    Seen seen;
    seen.window = window;
    wchar_t text[1024] = {};
    GetClassNameW(window, text, 1024);
    seen.box = std::wstring(text) == L"#32770";
    GetWindowTextW(window, text, 1024);
    seen.title = Narrow(text);
    if (!seen.box) return seen;
    text[0] = L'\0';
    GetDlgItemTextW(window, 0xFFFF, text, 1024);
    seen.text = Narrow(text);
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
      HWND button = GetDlgItem(window, id);
      if (button != nullptr && IsWindowVisible(button)) seen.buttons.insert(id);
    }
    // The icon control is 0x14 on Windows and 0x440 in Wine.
    for (int id : {0x14, 0x440}) {
      HWND icon = GetDlgItem(window, id);
      seen.critical = seen.critical || (icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) ==
                                                               LPARAM(LoadIcon(nullptr, IDI_HAND)));
    }
    return seen;
  }

  void Run() {
    while (!stop_) {
      std::vector<HWND> found;
      EnumWindows(&Watcher::Collect, reinterpret_cast<LPARAM>(&found));
      for (HWND window : found) {
        Seen seen = Read(window);
        Answer answer;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (!script_.empty()) answer = std::exchange(script_.front(), nullptr);
          if (answer) script_.pop_front();
          if (!answer) seen_.push_back(seen);
        }
        auto gone = [&] { return !IsWindow(window) || !IsWindowVisible(window); };
        if (answer) {
          answer(seen);
          if (WaitUntil(gone, 10000)) continue;
          Check(false, Describe(seen) + " stayed open after its answer");
        }
        Dismiss(seen);
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
