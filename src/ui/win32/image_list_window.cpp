// The window's two labels, its grid (a report-view ListView) and its "Exit"
// button sit where the form's twip layout puts them at the window's DPI;
// clicks, double-clicks and keys go to the form's handlers, and the list is
// drawn again from the grid after each sort.
#include "ui/win32/image_list_window.h"

// clang-format off
#include "hostenv/win32/windows_api.h"
#include <commctrl.h>
// clang-format on

#include <cmath>
#include <exception>
#include <iterator>
#include <memory>
#include <type_traits>
#include <vector>

#include "hostenv/win32/module_file.h"
#include "hostenv/win32/text.h"
#include "hostenv/win32/win32_platform.h"
#include "plugin/frm_image_files.h"
#include "ui/system_view.h"
#include "ui/win32/resource_ids.h"

namespace tavirex {
namespace {

namespace layout = image_list_layout;
namespace columns = image_list_columns;

constexpr wchar_t kWindowClass[] = L"TavirexImageListWindow";
constexpr int kTwipsPerInch = 1440;
constexpr double kPointsPerInch = 72.0;
constexpr UINT kDefaultDpi = 96;
constexpr int kIconSize = 32;

// Control identifiers; IDOK and IDCANCEL stay free for Enter and Esc.
constexpr int kInstructionsId = 1001;
constexpr int kSortInstructionsId = 1002;
constexpr int kGridId = 1003;
constexpr int kExitId = 1004;

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// GetDpiForWindow where the system has it (Windows 10 1607 and later), else
// the screen's.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi_for_window != nullptr) {
    if (UINT dpi = get_dpi_for_window(window); dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int Pixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

UniqueFont MakeFont(const layout::Font& font, UINT dpi) {
  LOGFONTW logfont = {};
  logfont.lfHeight = -static_cast<LONG>(std::lround(font.points * dpi / kPointsPerInch));
  logfont.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  logfont.lfCharSet = DEFAULT_CHARSET;
  logfont.lfOutPrecision = OUT_DEFAULT_PRECIS;
  logfont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  logfont.lfQuality = DEFAULT_QUALITY;
  std::wstring face = WideFromUtf8(font.name);
  face.copy(logfont.lfFaceName, LF_FACESIZE - 1);
  return UniqueFont(CreateFontIndirectW(&logfont));
}

// The average width of the font's letters, the unit of the grid's column
// widths.
double AverageCharWidth(HWND window, HFONT font) {
  static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  constexpr int kLetterCount = static_cast<int>(std::size(kLetters)) - 1;
  HDC dc = GetDC(window);
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, kLetters, kLetterCount, &size);
  SelectObject(dc, previous);
  ReleaseDC(window, dc);
  return static_cast<double>(size.cx) / kLetterCount;
}

UniqueIcon LoadWindowIcon(HMODULE module, int size) {
  return UniqueIcon(static_cast<HICON>(
      LoadImageW(module, MAKEINTRESOURCEW(TAVIREX_IDI_IMAGE_LIST), IMAGE_ICON, size, size, 0)));
}

struct WindowState {
  WindowState(FrmImageFiles& form, const bool& wait_cursor)
      : form(form), wait_cursor(wait_cursor) {}

  FrmImageFiles& form;
  const bool& wait_cursor;
  HWND window = nullptr;
  HWND list = nullptr;
  HWND exit = nullptr;
  HWND last_focus = nullptr;          // given the focus back on activation
  std::vector<std::int32_t> columns;  // the grid column of each list column
  std::exception_ptr failure;         // ends the display; rethrown to the caller
  bool woken = false;
};

// Runs a handler of the form. A failure ends the display and reaches the
// caller of ShowModal: it must not unwind through the system's window
// procedures.
template <typename Handler>
void RunHandler(WindowState& state, Handler handler) {
  if (state.failure) return;
  try {
    handler();
  } catch (...) {
    state.failure = std::current_exception();
  }
}

std::wstring CellText(WindowState& state, std::int32_t col, std::int32_t row) {
  return WideFromUtf8(state.form.grdImageFiles().CellText(col, row));
}

// The form's active cell as the list's selection and focus.
void ShowActiveCell(WindowState& state) {
  LVITEMW item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(state.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(&item));
  const int index = state.form.grdImageFiles().ActiveRow() - 1;
  const auto count = static_cast<int>(SendMessageW(state.list, LVM_GETITEMCOUNT, 0, 0));
  if (index < 0 || index >= count) return;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(state.list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(&item));
  SendMessageW(state.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

// The visible columns up to "Eye": the file's folder and name never show.
void AddColumns(WindowState& state, double char_width) {
  ImageGrid& grid = state.form.grdImageFiles();
  for (std::int32_t col : grid.VisibleCols()) {
    if (col > columns::kEye) continue;
    std::wstring header = CellText(state, col, 0);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = static_cast<int>(std::lround(grid.ColWidth(col) * char_width));
    column.pszText = header.data();
    column.iSubItem = static_cast<int>(state.columns.size());
    SendMessageW(state.list, LVM_INSERTCOLUMNW, state.columns.size(),
                 reinterpret_cast<LPARAM>(&column));
    state.columns.push_back(col);
  }
}

void FillRows(WindowState& state) {
  ImageGrid& grid = state.form.grdImageFiles();
  SendMessageW(state.list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(state.list, LVM_DELETEALLITEMS, 0, 0);
  if (!state.columns.empty()) {
    for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
      std::wstring text = CellText(state, state.columns[0], row);
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = row - 1;
      item.pszText = text.data();
      const auto index = static_cast<int>(
          SendMessageW(state.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
      for (std::size_t i = 1; i < state.columns.size(); ++i) {
        text = CellText(state, state.columns[i], row);
        item.iSubItem = static_cast<int>(i);
        item.pszText = text.data();
        SendMessageW(state.list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
      }
    }
  }
  ShowActiveCell(state);
  SendMessageW(state.list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(state.list, nullptr, TRUE);
}

// The grid cell (column, row) under a point of the list; row 0 off the rows.
struct Cell {
  std::int32_t col = 0;
  std::int32_t row = 0;
};

Cell CellAt(WindowState& state, POINT point) {
  LVHITTESTINFO hit = {};
  hit.pt = point;
  SendMessageW(state.list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
  Cell cell;
  if (hit.iItem < 0 || hit.iSubItem < 0 ||
      static_cast<std::size_t>(hit.iSubItem) >= state.columns.size()) {
    return cell;
  }
  cell.col = state.columns[static_cast<std::size_t>(hit.iSubItem)];
  cell.row = hit.iItem + 1;
  return cell;
}

void OpenRow(WindowState& state, Cell cell) {
  if (cell.row <= 0) return;
  RunHandler(state, [&] { state.form.grdImageFiles_DblClick(cell.col, cell.row); });
  if (!state.failure && IsWindow(state.list)) ShowActiveCell(state);
}

// Enter acts on the selected row as a double-click on its first cell.
void OpenSelectedRow(WindowState& state) {
  const auto index = static_cast<int>(
      SendMessageW(state.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (index < 0 || state.columns.empty()) return;
  OpenRow(state, {state.columns[0], index + 1});
}

void ExitClicked(WindowState& state) {
  RunHandler(state, [&] { state.form.cmdExit_Click(); });
}

LRESULT OnNotify(WindowState& state, const NMHDR& header) {
  if (header.hwndFrom != state.list) return 0;
  switch (header.code) {
    case LVN_COLUMNCLICK: {
      const auto& click = reinterpret_cast<const NMLISTVIEW&>(header);
      if (click.iSubItem < 0 || static_cast<std::size_t>(click.iSubItem) >= state.columns.size()) {
        return 0;
      }
      const std::int32_t col = state.columns[static_cast<std::size_t>(click.iSubItem)];
      RunHandler(state, [&] { state.form.grdImageFiles_Click(col, 0); });
      if (!state.failure) FillRows(state);  // the order may have changed
      return 0;
    }
    case NM_CLICK: {
      const Cell cell = CellAt(state, reinterpret_cast<const NMITEMACTIVATE&>(header).ptAction);
      if (cell.row > 0)
        RunHandler(state, [&] { state.form.grdImageFiles_Click(cell.col, cell.row); });
      return 0;
    }
    case NM_DBLCLK:
      OpenRow(state, CellAt(state, reinterpret_cast<const NMITEMACTIVATE&>(header).ptAction));
      return 0;
    case NM_RETURN:  // only when no dialog manager took the Enter key
      OpenSelectedRow(state);
      return 0;
    default:
      return 0;
  }
}

void OnCommand(WindowState& state, int id, int code) {
  switch (id) {
    case kExitId:
      if (code == BN_CLICKED) ExitClicked(state);
      break;
    case IDCANCEL:  // Esc
      ExitClicked(state);
      break;
    case IDOK:  // Enter
      if (GetFocus() == state.exit) {
        ExitClicked(state);
      } else {
        OpenSelectedRow(state);
      }
      break;
    default:
      break;
  }
}

LRESULT HandleMessage(WindowState& state, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(state, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(state, *reinterpret_cast<const NMHDR*>(lparam));
    case WM_CLOSE:
      RunHandler(state, [&] { state.form.Unload(); });
      return 0;
    case WM_DESTROY:
      // Destroyed from outside: the display ends.
      if (!state.form.unloaded()) state.form.Unload();
      return 0;
    case WM_SETCURSOR:
      if (state.wait_cursor) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window, focus)) state.last_focus = focus;
      } else {
        SetFocus(state.last_focus != nullptr ? state.last_focus : state.list);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  const LRESULT result = HandleMessage(*state, window, message, wparam, lparam);
  // A handler that ends the display may have run for a message sent from
  // another thread, which does not wake GetMessage: post something that does.
  if ((state->form.unloaded() || state->failure) && !state->woken) {
    state->woken = PostMessageW(window, WM_NULL, 0, 0) != FALSE;
  }
  return result;
}

HWND CreateControl(WindowState& state, const wchar_t* window_class, const std::wstring& text,
                   DWORD style, DWORD ex_style, const layout::Control& where, int id, UINT dpi,
                   HFONT font) {
  HWND control = CreateWindowExW(
      ex_style, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, Pixels(where.left, dpi),
      Pixels(where.top, dpi), Pixels(where.width, dpi), Pixels(where.height, dpi), state.window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(state.window, GWLP_HINSTANCE)), nullptr);
  if (control == nullptr) throw VbErrorFromWin32(GetLastError());
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// Sizes the window to the layout's client area and centres it on its
// monitor's work area.
void PlaceWindow(HWND window, UINT dpi) {
  const int client_width = Pixels(layout::kClientWidth, dpi);
  const int client_height = Pixels(layout::kClientHeight, dpi);
  RECT frame = {0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The frame of a caption that wraps, or of a DPI the estimate did not
  // know: correct by what the client area actually got.
  RECT client = {};
  GetClientRect(window, &client);
  width += client_width - (client.right - client.left);
  height += client_height - (client.bottom - client.top);

  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int left = area.left + ((area.right - area.left) - width) / 2;
  const int top = area.top + ((area.bottom - area.top) - height) / 2;
  SetWindowPos(window, nullptr, left > area.left ? left : area.left,
               top > area.top ? top : area.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Window classes of a DLL outlive its unloading: the class is registered for
// each display and removed after it.
class WindowClass {
 public:
  explicit WindowClass(HMODULE module) : module_(module) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = &WindowProc;
    window_class.hInstance = module;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = kWindowClass;
    registered_ = RegisterClassExW(&window_class) != 0;
    // Another thread's window of this module may have it registered already.
    if (!registered_ && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      throw VbErrorFromWin32(GetLastError());
    }
  }
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass() {
    if (registered_) UnregisterClassW(kWindowClass, module_);
  }

 private:
  HMODULE module_;
  bool registered_ = false;
};

// Everything a display creates, released in reverse order however it ends.
struct Display {
  explicit Display(FrmImageFiles& form, const bool& wait_cursor) : state(form, wait_cursor) {}
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;
  ~Display() {
    state.form.set_window_handle(0);
    if (state.window != nullptr && IsWindow(state.window)) DestroyWindow(state.window);
  }

  WindowState state;
  UniqueFont label_bold_font;
  UniqueFont label_font;
  UniqueFont grid_font;
  UniqueFont button_font;
  UniqueIcon big_icon;
  UniqueIcon small_icon;
};

// Modal as a VB form shown modally: while the window is up, the thread's
// other visible top-level windows that were enabled are disabled, so the host
// cannot start anything underneath; at the end they are enabled again and the
// window that was active before is activated again.
class ThreadWindowsDisabled {
 public:
  explicit ThreadWindowsDisabled(HWND modal) : modal_(modal), active_(GetActiveWindow()) {
    EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
    for (HWND window : disabled_) EnableWindow(window, FALSE);
  }
  ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
  ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;
  // Runs while the modal window still exists (declared after the Display),
  // so that activation passes to the host's window, not another program's.
  ~ThreadWindowsDisabled() {
    for (HWND window : disabled_) {
      if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    if (active_ != nullptr && active_ != modal_ && IsWindow(active_) && IsWindowEnabled(active_)) {
      SetActiveWindow(active_);
    }
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM self) {
    auto& disabler = *reinterpret_cast<ThreadWindowsDisabled*>(self);
    if (window == disabler.modal_ || !IsWindowVisible(window) || !IsWindowEnabled(window)) {
      return TRUE;
    }
    try {
      disabler.disabled_.push_back(window);
    } catch (...) {  // out of memory: the rest stay enabled
      return FALSE;
    }
    return TRUE;
  }

  HWND modal_;
  HWND active_;
  std::vector<HWND> disabled_;
};

void RunModalLoop(WindowState& state) {
  MSG message;
  while (!state.form.unloaded() && !state.failure) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // The thread is quitting: close the window and leave the quit message
      // for the loop that owns the thread.
      PostQuitMessage(static_cast<int>(message.wParam));
      state.form.Unload();
      break;
    }
    if (!IsDialogMessageW(state.window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

void ShowModally(FrmImageFiles& form, const bool& wait_cursor) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  const HMODULE module = CodeModule();
  WindowClass window_class(module);

  // Load the form (labels, title, grid layout) before anything is drawn.
  const std::wstring title = WideFromUtf8(form.Caption());
  Display display(form, wait_cursor);
  WindowState& state = display.state;
  state.window = CreateWindowExW(kWindowExStyle, kWindowClass, title.c_str(), kWindowStyle,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 nullptr, nullptr, module, &state);
  if (state.window == nullptr) throw VbErrorFromWin32(GetLastError());

  display.big_icon = LoadWindowIcon(module, kIconSize);
  display.small_icon = LoadWindowIcon(module, GetSystemMetrics(SM_CXSMICON));
  if (display.big_icon) {
    SendMessageW(state.window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(display.big_icon.get()));
  }
  if (display.small_icon) {
    SendMessageW(state.window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(display.small_icon.get()));
  }

  const UINT dpi = WindowDpi(state.window);
  PlaceWindow(state.window, dpi);
  display.label_bold_font = MakeFont(layout::kLblInstructions.font, dpi);
  display.label_font = MakeFont(layout::kLblSortInstructions.font, dpi);
  display.grid_font = MakeFont(layout::kGrdImageFiles.font, dpi);
  display.button_font = MakeFont(layout::kCmdExit.font, dpi);

  constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;
  CreateControl(state, WC_STATICW, WideFromUtf8(form.lblInstructions().Caption), kLabelStyle, 0,
                layout::kLblInstructions, kInstructionsId, dpi, display.label_bold_font.get());
  CreateControl(state, WC_STATICW, WideFromUtf8(form.lblSortInstructions().Caption), kLabelStyle, 0,
                layout::kLblSortInstructions, kSortInstructionsId, dpi, display.label_font.get());
  state.list = CreateControl(
      state, WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
      WS_EX_CLIENTEDGE, layout::kGrdImageFiles, kGridId, dpi, display.grid_font.get());
  constexpr DWORD kListExStyle = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
  SendMessageW(state.list, LVM_SETEXTENDEDLISTVIEWSTYLE, kListExStyle, kListExStyle);
  state.exit = CreateControl(state, WC_BUTTONW, WideFromUtf8(form.cmdExit().Caption),
                             WS_TABSTOP | BS_PUSHBUTTON, 0, layout::kCmdExit, kExitId, dpi,
                             display.button_font.get());

  AddColumns(state, AverageCharWidth(state.list, display.grid_font.get()));
  FillRows(state);

  form.set_window_handle(reinterpret_cast<std::uintptr_t>(state.window));
  ThreadWindowsDisabled modal(state.window);
  ShowWindow(state.window, SW_SHOW);
  SetForegroundWindow(state.window);
  SetFocus(state.list);
  UpdateWindow(state.window);

  RunModalLoop(state);
  if (state.failure) std::rethrow_exception(state.failure);
}

}  // namespace

void ImageListWindow::ShowModal(FrmImageFiles& form) { ShowModally(form, wait_cursor_); }

void ImageListWindow::SetWaitCursor(bool wait) {
  wait_cursor_ = wait;
  SetCursor(LoadCursor(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

}  // namespace tavirex

namespace tavirex {
std::unique_ptr<ImageListView> MakeSystemImageListView() {
  return std::make_unique<ImageListWindow>();
}
}  // namespace tavirex
