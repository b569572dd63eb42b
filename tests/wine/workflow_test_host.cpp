// A host of tavirex.dll that runs its two workflows through COM under wine64,
// after registration, with a watcher thread in the part of the user:
//   - Review on a folder of sample images: the watcher finds the image list
//     window, reads its labels, fonts, icon, list headers and rows, clicks
//     headers and checks the new order, double-clicks rows (a type with a test
//     association opens in a recorder, a type without one brings the
//     "Tavirex Interface" box), presses Enter, Esc and "Exit" and closes it;
//   - Capture with the stand-in vendor program at the configured path: the
//     watcher answers the waiting box once the stand-in's exports are in the
//     drop folder, and the host checks the store folder and the stand-in's log.
//
//   workflow_test_host.exe <CreatePatient.exe>   the tests; prints "N passed, N failed"
//   workflow_test_host.exe show                  the Review window with sample rows, for a
//                                                screenshot: writes C:\TavirexShow\window.txt
//                                                (its screen rectangle), closes when
//                                                C:\TavirexShow\done appears
//   workflow_test_host.exe record <path>         the test association's viewer
//
// Writes praxo32.ini and PXEquip.ini into the Windows folder and its sample
// folders under C:\; registers and removes a test file association in HKCR.
// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com/tavirex_h.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Rows = std::vector<std::vector<std::string>>;

int g_passed = 0;
int g_failed = 0;

void Check(bool condition, const std::string& what) {
  // The watcher thread and the main thread both check, never at once: the
  // main thread checks only after the call the watcher works in returned.
  if (condition) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
  }
}

template <typename T>
void CheckEqual(const T& actual, const T& expected, const std::string& what) {
  Check(actual == expected, what);
}

// The host's texts are UTF-8, as the plug-in's own.
std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

std::wstring Wide(const std::string& text) {
  int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring result(size > 0 ? size - 1 : 0, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
  return result;
}

std::string Join(const std::vector<std::string>& items, const char* separator = "|") {
  std::string result;
  for (const std::string& item : items) {
    if (!result.empty()) result += separator;
    result += item;
  }
  return result;
}

std::string Describe(const Rows& rows) {
  std::string result;
  for (const auto& row : rows) result += " [" + Join(row) + "]";
  return result.empty() ? " (none)" : result;
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteWindowsFile(const char* name, const std::string& content) {
  char folder[MAX_PATH];
  GetWindowsDirectoryA(folder, MAX_PATH);
  WriteFile(fs::path(folder) / name, content);
}

// Names of the entries of a folder, sorted; files still being written by the
// stand-in (".part") left out.
std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::string name = Narrow(entry.path().filename().c_str());
    if (name.size() < 5 || name.substr(name.size() - 5) != ".part") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

fs::path ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path);
}

// The test viewer's record of the files it was asked to open.
fs::path OpenedRecord() { return ProgramPath().parent_path() / "opened.txt"; }

bool WaitUntil(const std::function<bool()>& condition, int milliseconds) {
  const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= end) return false;
    Sleep(50);
  }
}

// ---------------------------------------------------------------------------
// Workstation set-up.

// The equipment INI of the tests: Capture and Review of one model, the
// Review function naming the store folder.
void WriteWorkstation(const fs::path& root) {
  const std::string base = root.string();
  WriteWindowsFile("praxo32.ini", "[System]\r\nPgmsDir=" + base + "\\Programs\r\nDataDir=" + base +
                                      "\\Data\\\r\n");
  WriteWindowsFile("PXEquip.ini",
                   "[Equipment]\r\nNumber=2\r\n1=21:OCT capture:Tavirex:Capture Vessara\r\n"
                   "2=22:OCT review:Tavirex:Review Vessara\r\n\r\n[21]\r\nEquipProgPathFName=" +
                       base + "\\KSOCTVIEW\\bin\\CreatePatient.exe\r\nEquipDataPath=" + base +
                       "\\Export\r\n\r\n[22]\r\nEquipDataPath=" + base + "\\Images\r\n");
  fs::remove_all(root);
  for (const char* folder : {"Programs", "Data", "Images", "KSOCTVIEW\\bin"}) {
    fs::create_directories(root / folder);
  }
}

void WriteSampleImages(const fs::path& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) WriteFile(folder / name, "sample\r\n");
}

// Test file types: ".tvxtest" opens in this program's "record" mode, and
// ".tvxnone" has no association. Wine reads associations from HKCR only.
constexpr wchar_t kTestType[] = L".tvxtest";
constexpr wchar_t kTestProgId[] = L"TavirexTest.Image";
constexpr wchar_t kUnassociatedType[] = L".tvxnone";

void SetRegistryDefault(const std::wstring& key, const std::wstring& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS) {
    Check(false, "creating HKCR\\" + Narrow(key.c_str()));
    return;
  }
  RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

void RemoveAssociations() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kTestType);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kTestProgId);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kUnassociatedType);
}

void RegisterTestAssociation() {
  RemoveAssociations();
  SetRegistryDefault(kTestType, kTestProgId);
  SetRegistryDefault(std::wstring(kTestProgId) + L"\\shell\\open\\command",
                     L"\"" + ProgramPath().wstring() + L"\" record \"%1\"");
}

// ---------------------------------------------------------------------------
// The object, through its function table and through IDispatch.

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::string& text) : value_(SysAllocString(Wide(text).c_str())) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* ref() { return &value_; }
  BSTR* out() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  std::string text() const { return Narrow(value_); }

 private:
  BSTR value_ = nullptr;
};

struct Patient {
  std::string id;
  std::string last_name;
  std::string first_name;
  std::string middle_name;
  std::string gender;
  std::string date_of_birth;
  LONG exam = 0;
};

class Plugin {
 public:
  Plugin() {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(L"Tavirex.clsTavirex", &clsid);
    if (SUCCEEDED(hr)) {
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsTavirex,
                            reinterpret_cast<void**>(&object_));
    }
    Check(SUCCEEDED(hr) && object_ != nullptr, "creating Tavirex.clsTavirex");
  }
  ~Plugin() {
    if (object_ != nullptr) object_->Release();
  }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  bool ok() const { return object_ != nullptr; }
  // The host's reference, which the caller now releases.
  _clsTavirex* Detach() { return std::exchange(object_, nullptr); }

  void SetPatient(const Patient& patient) {
    Put(&_clsTavirex::put_PATIENTID, patient.id);
    Put(&_clsTavirex::put_LastName, patient.last_name);
    Put(&_clsTavirex::put_FirstName, patient.first_name);
    Put(&_clsTavirex::put_MiddleName, patient.middle_name);
    Put(&_clsTavirex::put_Gender, patient.gender);
    Put(&_clsTavirex::put_DateOfBirth, patient.date_of_birth);
    LONG exam = patient.exam;
    object_->put_ExamRecNum(&exam);
  }

  void SetDeviceName(const std::string& name) { Put(&_clsTavirex::put_DeviceName, name); }

  LONG Count() {
    LONG count = -1;
    object_->NumPatientImageFiles(&count);
    return count;
  }

  // A workflow through the function table; "<failed>" when the call failed.
  std::string Call(HRESULT (STDMETHODCALLTYPE _clsTavirex::*method)(BSTR*)) {
    Bstr result;
    HRESULT hr = (object_->*method)(result.out());
    return SUCCEEDED(hr) ? result.text() : "<failed>";
  }

  // A method without arguments through IDispatch, as a late-bound host calls it.
  std::string Invoke(const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
      return "<unknown name>";
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result,
                                 &exception, nullptr);
    std::string text =
        SUCCEEDED(hr) && V_VT(&result) == VT_BSTR ? Narrow(V_BSTR(&result)) : "<failed>";
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return text;
  }

 private:
  void Put(HRESULT (STDMETHODCALLTYPE _clsTavirex::*setter)(BSTR*), const std::string& value) {
    Bstr text(value);
    (object_->*setter)(text.ref());
  }

  _clsTavirex* object_ = nullptr;
};

// ---------------------------------------------------------------------------
// The user: a thread that works on the windows and boxes of this process
// while the main thread is inside a workflow call.

struct Box {
  HWND window = nullptr;
  std::string title;
  std::string text;
  std::set<int> buttons;
  bool critical = false;
};

// Built by appending: GCC 12 warns wrongly (-Wrestrict) about "..." + text.
std::string Describe(const Box& box) {
  std::string result = "[title \"";
  result.append(box.title).append("\" text \"").append(box.text).append("\" buttons");
  for (int id : box.buttons) result.append(" ").append(std::to_string(id));
  return result.append(box.critical ? " critical]" : "]");
}

BOOL CALLBACK CollectBoxes(HWND window, LPARAM found) {
  char name[16] = {};
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
      GetClassNameA(window, name, sizeof name) > 0 && std::string(name) == "#32770") {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  }
  return TRUE;
}

std::optional<Box> FindBox() {
  std::vector<HWND> found;
  EnumWindows(&CollectBoxes, reinterpret_cast<LPARAM>(&found));
  if (found.empty()) return std::nullopt;
  Box box;
  box.window = found.front();
  char text[1024] = {};
  GetWindowTextA(box.window, text, sizeof text);
  box.title = text;
  text[0] = '\0';
  GetDlgItemTextA(box.window, 0xFFFF, text, sizeof text);
  box.text = text;
  for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    HWND button = GetDlgItem(box.window, id);
    if (button != nullptr && IsWindowVisible(button)) box.buttons.insert(id);
  }
  // The icon control is 0x14 on Windows and 0x440 in Wine.
  HICON hand = LoadIcon(nullptr, IDI_HAND);
  for (int id : {0x14, 0x440}) {
    HWND icon = GetDlgItem(box.window, id);
    if (icon != nullptr && reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)) == hand) {
      box.critical = true;
    }
  }
  return box;
}

void Answer(const Box& box, int button) {
  PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
  WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, 5000);
}

// Answers a box nobody expected with its first button, so that nothing hangs.
void Dismiss(const Box& box, const std::string& when) {
  Check(false, when + ": unexpected box " + Describe(box));
  Answer(box, box.buttons.empty() ? IDOK : *box.buttons.begin());
}

// Waits for a condition; any box that comes up meanwhile is unexpected.
bool Await(const std::function<bool()>& condition, int milliseconds, const std::string& what) {
  bool met = WaitUntil(
      [&] {
        if (auto box = FindBox()) Dismiss(*box, what);
        return condition();
      },
      milliseconds);
  Check(met, what);
  return met;
}

std::optional<Box> AwaitBox(const std::string& what) {
  std::optional<Box> box;
  WaitUntil([&] { return (box = FindBox()).has_value(); }, 15000);
  Check(box.has_value(), what + ": a box");
  return box;
}

constexpr wchar_t kWindowTitle[] = L"Tavirex Images";

HWND AwaitImageWindow() {
  HWND window = nullptr;
  // Shown once laid out and filled; FindWindow finds it from its creation.
  Await(
      [&] {
        window = FindWindowW(nullptr, kWindowTitle);
        return window != nullptr && IsWindowVisible(window);
      },
      15000, "the image list window comes up");
  return window;
}

// Runs `call` on this thread while `user` works on another, then keeps
// closing whatever box or window stays open too long until the call returns.
void WhileUserActs(const std::function<void()>& call, const std::function<void()>& user) {
  std::atomic<bool> returned{false};
  std::thread thread([&] {
    user();
    std::optional<Clock::time_point> seen;
    while (!returned) {
      std::optional<Box> box = FindBox();
      HWND window = FindWindowW(nullptr, kWindowTitle);
      if (!box && window == nullptr) {
        seen.reset();
      } else if (!seen) {
        seen = Clock::now();
      } else if (Clock::now() - *seen > std::chrono::seconds(3)) {
        if (box) {
          Dismiss(*box, "after the user's steps");
        } else {
          Check(false, "the image list window stayed open after the user's steps");
          PostMessageW(window, WM_CLOSE, 0, 0);
        }
        seen.reset();
      }
      Sleep(50);
    }
  });
  call();
  returned = true;
  thread.join();
}

// ---------------------------------------------------------------------------
// Reading and working the image list window as its user.

struct Child {
  HWND window;
  std::string window_class;
  std::string text;
};

// The direct children in Z order (creation order).
std::vector<Child> Children(HWND window) {
  std::vector<Child> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    children.push_back({child, name, text});
  }
  return children;
}

HWND ChildOfClass(HWND window, const char* window_class) {
  for (const Child& child : Children(window)) {
    if (_stricmp(child.window_class.c_str(), window_class) == 0) return child.window;
  }
  return nullptr;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// A control's rectangle in its parent's client coordinates.
RECT RectInParent(HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string RectText(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

// The layout's twips at the DPI, as "left,top widthxheight".
std::string LayoutText(int left, int top, int width, int height, int dpi) {
  RECT rect = {MulDiv(left, dpi, 1440), MulDiv(top, dpi, 1440), 0, 0};
  rect.right = rect.left + MulDiv(width, dpi, 1440);
  rect.bottom = rect.top + MulDiv(height, dpi, 1440);
  return RectText(rect);
}

std::string FontText(HWND control) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW logfont = {};
  if (font == nullptr || GetObjectW(font, sizeof logfont, &logfont) == 0) return "<no font>";
  return Narrow(logfont.lfFaceName) + " " + std::to_string(logfont.lfHeight) +
         (logfont.lfWeight >= FW_BOLD ? " bold" : "");
}

// A font as FontText writes it: the height of `points` at the DPI.
std::string FontSpec(double points, bool bold, int dpi) {
  const long height = -std::lround(points * dpi / 72);
  return "Tahoma " + std::to_string(height) + (bold ? " bold" : "");
}

std::vector<std::string> Headers(HWND list) {
  std::vector<std::string> headers;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const auto count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 256;
    SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    headers.push_back(Narrow(text));
  }
  return headers;
}

std::vector<int> ColumnWidths(HWND list, int count) {
  std::vector<int> widths;
  for (int i = 0; i < count; ++i) {
    widths.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0)));
  }
  return widths;
}

Rows ReadRows(HWND list, int columns) {
  Rows rows;
  const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::vector<std::string> row;
    for (int c = 0; c < columns; ++c) {
      wchar_t text[512] = {};
      LVITEMW item = {};
      item.iSubItem = c;
      item.pszText = text;
      item.cchTextMax = 512;
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      row.push_back(Narrow(text));
    }
    rows.push_back(row);
  }
  return rows;
}

int SelectedItem(HWND list) {
  return static_cast<int>(
      SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

LPARAM PointParam(POINT point) { return MAKELPARAM(point.x, point.y); }

POINT Centre(const RECT& rect) {
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// A mouse click on a column header, as the header control receives it.
void ClickHeader(HWND list, int index) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  RECT rect = {};
  SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(&rect));
  const LPARAM at = PointParam(Centre(rect));
  PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(header, WM_LBUTTONUP, 0, at);
}

// A mouse double-click on a row's first cell.
void DoubleClickRow(HWND list, int index) {
  RECT rect = {};
  rect.left = LVIR_LABEL;
  SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect));
  const LPARAM at = PointParam(Centre(rect));
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
  PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
}

void PressKey(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

// ---------------------------------------------------------------------------
// Review.

const fs::path kReviewRoot = "C:\\TavirexE2E";
const fs::path kImages = kReviewRoot / "Images";
const std::vector<std::string> kHeaders = {"Patient #", "Exam #", "Date", "Time", "Eye"};
const int kHeaderChars[] = {13, 9, 11, 10, 6};

// Four files of patient 47-11, one of another patient, one whose key only
// begins with 4711, and one without the stored name's underscore.
const std::string kMacula1 =
    "4711_1042_Vessara_OCT_Macula_512x128_1_OD_2016-05-31_14-05-09.tvxtest";
const std::string kMacula2 =
    "4711_1042_Vessara_OCT_Macula_512x128_2_OS_2016-05-31_14-06-10.tvxtest";
const std::string kDisc = "4711_977_Vessara_OCT_Disc_200x200_1_OD_2015-11-02_09-30-00.tvxnone";
const std::string kFollowUp =
    "4711_1108_Vessara_OCT_Macula_512x128_1_OU_2017-01-15_16-45-30.tvxtest";

const std::vector<std::string> kRowMacula1 = {"4711", "1042", "5/31/2016", "14:05:09.tvxtest",
                                              "OD"};
const std::vector<std::string> kRowMacula2 = {"4711", "1042", "5/31/2016", "14:06:10.tvxtest",
                                              "OS"};
const std::vector<std::string> kRowDisc = {"4711", "977", "11/2/2015", "09:30:00.tvxnone", "OD"};
const std::vector<std::string> kRowFollowUp = {"4711", "1108", "1/15/2017", "16:45:30.tvxtest",
                                               "OU"};

void CheckWindowLayout(HWND window) {
  const int dpi = ScreenDpi();
  CheckEqual(GetWindow(window, GW_OWNER), HWND(nullptr), "the window has no owner");
  RECT client = {};
  GetClientRect(window, &client);
  CheckEqual(RectText(client), LayoutText(0, 0, 6945, 5535, dpi),
             "client area 6945 x 5535 twips at " + std::to_string(dpi) + " dpi");

  HICON icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
  ICONINFO info = {};
  BITMAP bitmap = {};
  if (icon != nullptr && GetIconInfo(icon, &info)) {
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
  Check(bitmap.bmWidth == 32 && bitmap.bmHeight == 32, "the window's own 32 x 32 icon (" +
                                                           std::to_string(bitmap.bmWidth) + "x" +
                                                           std::to_string(bitmap.bmHeight) + ")");

  std::vector<Child> children = Children(window);
  std::vector<std::string> kinds;
  for (const Child& child : children) kinds.push_back(child.window_class);
  CheckEqual(Join(kinds), std::string("Static|Static|SysListView32|Button"),
             "controls: two labels, the list, the button (" + Join(kinds) + ")");
  if (children.size() != 4) return;
  const Child& instructions = children[0];
  const Child& sort_instructions = children[1];
  const Child& list = children[2];
  const Child& exit = children[3];
  CheckEqual(instructions.text, std::string("Double-click a row to display the Tavirex image."),
             "lblInstructions");
  CheckEqual(sort_instructions.text,
             std::string("Click on a column header to sort by that column."),
             "lblSortInstructions");
  CheckEqual(exit.text, std::string("Exit"), "cmdExit");
  CheckEqual(RectText(RectInParent(instructions.window)), LayoutText(360, 360, 6255, 255, dpi),
             "lblInstructions position");
  CheckEqual(RectText(RectInParent(sort_instructions.window)), LayoutText(240, 720, 6495, 255, dpi),
             "lblSortInstructions position");
  CheckEqual(RectText(RectInParent(list.window)), LayoutText(360, 1080, 6135, 3645, dpi),
             "grdImageFiles position");
  CheckEqual(RectText(RectInParent(exit.window)), LayoutText(5430, 5070, 1335, 375, dpi),
             "cmdExit position");
  CheckEqual(FontText(instructions.window), FontSpec(9, true, dpi), "lblInstructions font");
  CheckEqual(FontText(sort_instructions.window), FontSpec(9, false, dpi),
             "lblSortInstructions font");
  CheckEqual(FontText(list.window), FontSpec(8.25, false, dpi), "grid font");
  CheckEqual(FontText(exit.window), FontSpec(9, true, dpi), "cmdExit font");

  const auto style = static_cast<DWORD>(GetWindowLongPtrW(list.window, GWL_STYLE));
  Check((style & LVS_TYPEMASK) == LVS_REPORT, "the list is in report view");
  const auto ex_style =
      static_cast<DWORD>(SendMessageW(list.window, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  Check((ex_style & LVS_EX_FULLROWSELECT) != 0, "the list selects whole rows");
  CheckEqual(Join(Headers(list.window)), Join(kHeaders), "headers of the visible columns");
  // Widths in characters of the grid's font: proportional to 13, 9, 11, 10, 6.
  std::vector<int> widths = ColumnWidths(list.window, 5);
  bool proportional = widths[0] > 13 * 3;
  for (int i = 0; i < 5; ++i) {
    const double expected = widths[0] * kHeaderChars[i] / 13.0;
    if (widths[i] < expected - 1.5 || widths[i] > expected + 1.5) proportional = false;
  }
  Check(proportional, "column widths follow 13, 9, 11, 10, 6 characters (" +
                          std::to_string(widths[0]) + "," + std::to_string(widths[1]) + "," +
                          std::to_string(widths[2]) + "," + std::to_string(widths[3]) + "," +
                          std::to_string(widths[4]) + ")");
}

void CheckRows(HWND list, const Rows& expected, const std::string& what) {
  Rows rows;
  bool same = WaitUntil(
      [&] {
        rows = ReadRows(list, 5);
        return rows == expected;
      },
      5000);
  Check(same, what + ": rows" + Describe(rows) + ", expected" + Describe(expected));
}

// Waits for the recorder to have been started for `path`.
void CheckOpened(const fs::path& path, const std::string& what) {
  const std::string expected = path.string() + "\r\n";
  std::string recorded;
  Await(
      [&] {
        recorded = ReadFile(OpenedRecord());
        return recorded == expected;
      },
      15000, what + ": the associated program opened " + path.string());
  if (recorded != expected) std::printf("  recorded: %s\n", recorded.c_str());
  fs::remove(OpenedRecord());
}

// Reads, sorts and opens: the whole visit of a technician to the window.
void UseImageWindow() {
  HWND window = AwaitImageWindow();
  if (window == nullptr) return;
  CheckWindowLayout(window);
  HWND list = ChildOfClass(window, "SysListView32");
  HWND exit = ChildOfClass(window, "Button");
  if (list == nullptr || exit == nullptr) return;

  // Newest first: date, then time, descending; only the patient's files.
  CheckRows(list, {kRowFollowUp, kRowMacula2, kRowMacula1, kRowDisc}, "as loaded");
  CheckEqual(SelectedItem(list), 0, "the first row is the active cell");

  // Header clicks: "Exam #" alternates ascending and descending (as texts),
  // "Date" then sorts ascending with the eye as second key; "Eye" does not sort.
  ClickHeader(list, 1);
  CheckRows(list, {kRowMacula2, kRowMacula1, kRowFollowUp, kRowDisc}, "Exam # clicked");
  ClickHeader(list, 1);
  CheckRows(list, {kRowDisc, kRowFollowUp, kRowMacula2, kRowMacula1}, "Exam # clicked again");
  ClickHeader(list, 2);
  CheckRows(list, {kRowDisc, kRowMacula1, kRowMacula2, kRowFollowUp}, "Date clicked");
  ClickHeader(list, 4);
  Sleep(300);
  CheckRows(list, {kRowDisc, kRowMacula1, kRowMacula2, kRowFollowUp}, "Eye clicked");

  // A double-click opens the row's file in the associated program, and the
  // row becomes the selection.
  DoubleClickRow(list, 1);
  CheckOpened(kImages / kMacula1, "double-click on row 2");
  Await([&] { return SelectedItem(list) == 1; }, 5000, "the double-clicked row is selected");

  // A type without association: the message, critical, in its own box.
  DoubleClickRow(list, 0);
  if (std::optional<Box> box = AwaitBox("double-click on a .tvxnone row")) {
    CheckEqual(box->title, std::string("Tavirex Interface"), "no-association box title");
    CheckEqual(box->text, std::string("There is no file association for the tvxnone file type."),
               "no-association box text");
    Check(box->critical && box->buttons == std::set<int>{IDOK},
          "no-association box: critical, OK only " + Describe(*box));
    Answer(*box, IDOK);
  }
  Await([&] { return SelectedItem(list) == 0; }, 5000, "row 1 is selected after its double-click");

  // Enter opens the selected row.
  // (The list has the focus since its clicks.)
  LVITEMW item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  item.state = item.stateMask;
  SendMessageW(list, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&item));
  PressKey(list, VK_RETURN);
  CheckOpened(kImages / kFollowUp, "Enter on row 4");

  // "Exit" closes the window.
  PostMessageW(exit, BM_CLICK, 0, 0);
  Await([&] { return !IsWindow(window); }, 5000, "Exit closes the window");
}

void Review() {
  WriteWorkstation(kReviewRoot);
  WriteSampleImages(
      kImages,
      {kMacula1, kMacula2, kDisc, kFollowUp,
       "0815_1042_Vessara_OCT_Macula_512x128_1_OD_2016-05-31_14-05-09.tvxtest",
       "47110_1042_Vessara_OCT_Macula_512x128_1_OD_2016-05-31_14-05-09.tvxtest", "4711-notes.txt"});
  RegisterTestAssociation();
  fs::remove(OpenedRecord());

  Plugin plugin;
  if (!plugin.ok()) return;
  plugin.SetPatient({"47-11", "Doe", "Ann", "", "F", "01/02/1960", 1042});
  plugin.SetDeviceName("Review Vessara");
  std::string result;
  WhileUserActs([&] { result = plugin.Call(&_clsTavirex::ReviewDevice); }, UseImageWindow);
  CheckEqual(result, std::string("Was OK"), "ReviewDevice returns after Exit");

  // Through DoDeviceFunction, late bound; closed with the window's close box.
  // The window is modal to the host's own window, which is active before.
  HWND host = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                              200, nullptr, nullptr, nullptr, nullptr);
  SetActiveWindow(host);
  WhileUserActs([&] { result = plugin.Invoke(L"DoDeviceFunction"); },
                [&] {
                  HWND window = AwaitImageWindow();
                  if (window == nullptr) return;
                  Check(!IsWindowEnabled(host), "the host's window is disabled during Review");
                  HWND list = ChildOfClass(window, "SysListView32");
                  CheckEqual(static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), 4,
                             "DoDeviceFunction: four rows");
                  SendMessageW(window, WM_CLOSE, 0, 0);
                  Await([&] { return !IsWindow(window); }, 5000, "closing the window");
                });
  CheckEqual(result, std::string("Was OK"), "DoDeviceFunction(Review Vessara)");
  Check(IsWindowEnabled(host) && GetActiveWindow() == host,
        "the host's window is enabled and active again after Review");
  DestroyWindow(host);

  // A patient without files: the headers alone; Esc closes.
  plugin.SetPatient({"99-99", "Roe", "Rick", "", "M", "03/04/1970", 7});
  WhileUserActs([&] { result = plugin.Call(&_clsTavirex::ReviewDevice); },
                [] {
                  HWND window = AwaitImageWindow();
                  if (window == nullptr) return;
                  HWND list = ChildOfClass(window, "SysListView32");
                  CheckEqual(Join(Headers(list)), Join(kHeaders), "empty list: headers");
                  CheckEqual(static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), 0,
                             "empty list: no rows");
                  PressKey(list, VK_ESCAPE);
                  Await([&] { return !IsWindow(window); }, 5000, "Esc closes the window");
                });
  CheckEqual(result, std::string("Was OK"), "ReviewDevice without files");
  RemoveAssociations();
}

// ---------------------------------------------------------------------------
// Capture with the stand-in vendor program.

const fs::path kProgramFolder = kReviewRoot / "KSOCTVIEW" / "bin";
const fs::path kDrop = kReviewRoot / "Export";
constexpr int kExports = 3;
const std::string kWaitingText =
    "Waiting for Technician  -  Place files in " + (kReviewRoot / "Export").string();

std::vector<std::string> CaptureFiles(const fs::path& folder) {
  std::vector<std::string> names;
  for (const std::string& name : FolderNames(folder)) {
    if (name.rfind("123456789_", 0) == 0) names.push_back(name);
  }
  return names;
}

// An export named outside the ANSI code page, beside the stand-in's.
const std::string kForeignExport =
    "123456789_Vessara_Ωμέγα_łódź_東京_😀_OD_2016-05-31_14-05-09.Ωμέγα東京😀.jpg";
const std::vector<std::string> kForeignRow = {"123456789", "1042", "5/31/2016",
                                              "14:05:09.Ωμέγα東京😀.jpg", "OD"};

// Waits for the waiting box and for the stand-in's exports, adds `extra` to
// them, then answers.
std::vector<std::string> AnswerWaitingBox(int answer, const std::string& what,
                                          const std::string& extra = "") {
  std::optional<Box> box = AwaitBox(what + ": the waiting box");
  if (!box) return {};
  CheckEqual(box->title, std::string("Tavirex Capture"), what + ": waiting box title");
  CheckEqual(box->text, kWaitingText, what + ": waiting box text");
  Check(!box->critical && box->buttons == std::set<int>{IDOK, IDCANCEL},
        what + ": waiting box with OK and Cancel " + Describe(*box));
  std::vector<std::string> exported;
  bool all = WaitUntil(
      [&] {
        exported = FolderNames(kDrop);
        return exported.size() == kExports;
      },
      20000);
  Check(all, what + ": the stand-in exported " + std::to_string(kExports) + " files (" +
                 Join(exported) + ")");
  if (!extra.empty()) {
    WriteFile(kDrop / Wide(extra), "image\r\n");
    exported = FolderNames(kDrop);
  }
  Answer(*box, answer);
  return exported;
}

std::string Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[16];
  std::snprintf(text, sizeof text, "%02u/%02u/%04u", now.wMonth, now.wDay, now.wYear);
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (text.size() > 3 && text.back() == '\\') text.pop_back();
  return text;
}

void CheckStandInLog() {
  std::map<std::string, std::string> values;
  std::istringstream log(ReadFile(kProgramFolder / "CreatePatient.log"));
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  CheckEqual(Lower(values["cwd"]), Lower(kProgramFolder.string()),
             "the stand-in ran in the program folder (" + values["cwd"] + ")");
  const std::vector<std::string> expected = {"9", "123456789",  "van Dyke", "Ann",   "n/a",
                                             "F", "01/02/1960", "n/a",      Today(), "1"};
  std::vector<std::string> seen = {values["argc"]};
  for (int i = 1; i <= 9; ++i) seen.push_back(values["arg" + std::to_string(i)]);
  CheckEqual(Join(seen), Join(expected), "the stand-in's nine parameters");
}

// The host's timer, run by the waiting box's message loop once the watcher
// hands it the object: it calls a second device function, lets go of the
// host's last reference and asks whether the DLL could unload.
std::atomic<_clsTavirex*> g_timer_object{nullptr};
std::atomic<bool> g_timer_ran{false};
std::string g_second_call;
HRESULT g_unload_in_box = E_FAIL;

HRESULT PluginCanUnloadNow() {
  using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
  auto can_unload = reinterpret_cast<CanUnloadNowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"tavirex.dll"), "DllCanUnloadNow")));
  return can_unload != nullptr ? can_unload() : E_FAIL;
}

void CALLBACK HostTimer(HWND, UINT, UINT_PTR, DWORD) {
  _clsTavirex* object = g_timer_object.exchange(nullptr);
  if (object == nullptr) return;
  Bstr text;
  g_second_call = SUCCEEDED(object->DoDeviceFunction(text.out())) ? text.text() : "<failed>";
  object->Release();
  g_unload_in_box = PluginCanUnloadNow();
  g_timer_ran = true;
}

void Capture(const fs::path& standin) {
  WriteWorkstation(kReviewRoot);
  fs::copy_file(standin, kProgramFolder / "CreatePatient.exe");
  WriteFile(kProgramFolder / "CreatePatient.cfg",
            "DropFolder=" + kDrop.string() + "\r\nImages=" + std::to_string(kExports) + "\r\n");
  wchar_t working[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, working);

  Plugin plugin;
  if (!plugin.ok()) return;
  plugin.SetPatient({"12-3456-789", "van Dyke", "Ann", "", "F", "01/02/1960", 1042});
  plugin.SetDeviceName("Capture Vessara");

  // OK once the exports are in: every file moves to the store folder, the
  // exam number inserted after the patient key.
  std::string result;
  std::vector<std::string> exported;
  WhileUserActs([&] { result = plugin.Invoke(L"DoDeviceFunction"); },
                [&] { exported = AnswerWaitingBox(IDOK, "capture answered OK", kForeignExport); });
  CheckEqual(result, std::string("Was OK"), "DoDeviceFunction(Capture Vessara)");
  std::vector<std::string> stored;
  for (const std::string& name : exported) {
    stored.push_back(name.substr(0, name.find('_')) + "_1042" + name.substr(name.find('_')));
  }
  std::sort(stored.begin(), stored.end());
  CheckEqual(Join(CaptureFiles(kImages)), Join(stored), "the store folder holds the stored names");
  CheckEqual(FolderNames(kDrop).size(), std::size_t{0},
             "the drop folder is empty after the import");
  CheckStandInLog();

  // Cancel, then Yes: the exports are deleted; Cancel, then No: they stay.
  for (int keep : {IDYES, IDNO}) {
    const std::string what =
        std::string("capture answered Cancel, then ") + (keep == IDYES ? "Yes" : "No");
    WhileUserActs([&] { result = plugin.Call(&_clsTavirex::CaptureDevice); },
                  [&] {
                    AnswerWaitingBox(IDCANCEL, what);
                    if (std::optional<Box> box = AwaitBox(what + ": the delete question")) {
                      CheckEqual(box->title + "|" + box->text,
                                 std::string("Attention|Do you want to delete current files?"),
                                 what + ": the delete question");
                      Check(box->buttons == std::set<int>{IDYES, IDNO},
                            what + ": Yes and No " + Describe(*box));
                      Answer(*box, keep);
                    }
                  });
    CheckEqual(result, std::string("Was OK"), what + ": CaptureDevice");
    CheckEqual(FolderNames(kDrop).size(), std::size_t(keep == IDYES ? 0 : kExports),
               what + ": files in the drop folder");
    CheckEqual(CaptureFiles(kImages).size(), stored.size(),
               what + ": the store folder is unchanged");
  }

  // The foreign export was imported like the others: counted and listed.
  CheckEqual(plugin.Count(), static_cast<LONG>(stored.size()), "the imported files are counted");
  plugin.SetDeviceName("Review Vessara");
  WhileUserActs([&] { result = plugin.Call(&_clsTavirex::ReviewDevice); },
                [&] {
                  HWND window = AwaitImageWindow();
                  if (window == nullptr) return;
                  const Rows rows = ReadRows(ChildOfClass(window, "SysListView32"), 5);
                  CheckEqual(rows.size(), stored.size(), "Review lists every imported file");
                  Check(std::count(rows.begin(), rows.end(), kForeignRow) == 1,
                        "Review lists the foreign export in full:" + Describe(rows));
                  SendMessageW(window, WM_CLOSE, 0, 0);
                  Await([&] { return !IsWindow(window); }, 5000, "closing the window");
                });
  CheckEqual(result, std::string("Was OK"), "ReviewDevice after the capture");
  plugin.SetDeviceName("Capture Vessara");

  // The host's timer calls again and drops its last reference while the
  // waiting box is up: the second call does not run, and the object lives
  // until the first call ends.
  fs::remove_all(kDrop);
  _clsTavirex* object = plugin.Detach();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &HostTimer);
  const std::string what = "capture whose host lets go during the box";
  Bstr captured;
  HRESULT hr = E_FAIL;
  WhileUserActs([&] { hr = object->CaptureDevice(captured.out()); },
                [&] {
                  if (!AwaitBox(what)) return;
                  g_timer_object = object;
                  Check(WaitUntil([] { return g_timer_ran.load(); }, 5000),
                        what + ": the host's timer ran");
                  AnswerWaitingBox(IDCANCEL, what);
                  if (std::optional<Box> box = AwaitBox(what + ": the delete question")) {
                    Answer(*box, IDYES);
                  }
                });
  KillTimer(nullptr, timer);
  if (!g_timer_ran) object->Release();
  Check(SUCCEEDED(hr) && captured.text() == "Was OK", what + ": CaptureDevice");
  CheckEqual(g_second_call, std::string(), what + ": the second device function did not run");
  CheckEqual(g_unload_in_box, S_FALSE, what + ": the object lived on during the call");
  CheckEqual(PluginCanUnloadNow(), S_OK, what + ": the object went after the call");
  SetCurrentDirectoryW(working);

}

// ---------------------------------------------------------------------------
// A Review window with sample rows, left open for a screenshot.

void Show() {
  const fs::path root = "C:\\TavirexShow";
  WriteWorkstation(root);
  WriteSampleImages(root / "Images",
                    {"4711_1042_Vessara_OCT_Macula_512x128_1_OD_2026-11-14_10-32-05.jpg",
                     "4711_1042_Vessara_OCT_Macula_512x128_2_OS_2026-11-14_10-34-41.jpg",
                     "4711_1042_Vessara_OCT_Disc_200x200_1_OD_2026-11-14_10-37-12.jpg",
                     "4711_988_Vessara_OCT_Macula_512x128_1_OD_2026-05-20_15-02-48.jpg",
                     "4711_988_Vessara_OCT_Macula_512x128_2_OS_2026-05-20_15-04-19.jpg",
                     "4711_913_Vessara_OCT_Macula_512x128_1_OU_2025-12-02_09-12-33.jpg"});
  Plugin plugin;
  if (!plugin.ok()) return;
  plugin.SetPatient({"47-11", "Doe", "Ann", "", "F", "01/02/1960", 1042});
  plugin.SetDeviceName("Review Vessara");
  WhileUserActs([&] { plugin.Call(&_clsTavirex::ReviewDevice); },
                [&] {
                  HWND window = AwaitImageWindow();
                  if (window == nullptr) return;
                  Sleep(500);  // painted
                  RECT rect = {};
                  GetWindowRect(window, &rect);
                  WriteFile(root / "window.txt", std::to_string(rect.left) + " " +
                                                     std::to_string(rect.top) + " " +
                                                     std::to_string(rect.right - rect.left) + " " +
                                                     std::to_string(rect.bottom - rect.top) + "\n");
                  WaitUntil([&] { return fs::exists(root / "done"); }, 120000);
                  PostMessageW(ChildOfClass(window, "Button"), BM_CLICK, 0, 0);
                  WaitUntil([&] { return !IsWindow(window); }, 5000);
                });
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "record" && argc > 2) {
    std::ofstream(OpenedRecord(), std::ios::binary | std::ios::app) << argv[2] << "\r\n";
    return 0;
  }
  if (mode.empty()) {
    std::printf("usage: workflow_test_host <CreatePatient.exe> | show | record <path>\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // every line out before a crash
  CoInitialize(nullptr);
  if (mode == "show") {
    Show();
  } else {
    Review();
    Capture(mode);
  }
  CoUninitialize();
  if (mode == "show") return g_failed == 0 ? 0 : 1;
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
