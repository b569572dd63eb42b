#include "hostenv/win32/win32_platform.h"

#include <cmath>
#include <memory>
#include <utility>

#include "hostenv/win32/ansi.h"

namespace tavirex {
namespace {

struct BstrFree {
  void operator()(BSTR text) const { SysFreeString(text); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrFree>;

UniqueBstr NewBstr(std::string_view text) { return UniqueBstr(BstrFromAnsi(text)); }

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (valid()) FindClose(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

[[noreturn]] void ThrowLastError() { throw VbErrorFromWin32(GetLastError()); }

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The system's text for an error code, without its trailing line break.
std::string SystemMessage(DWORD error) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? std::string(buffer, length) : std::string();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// Anchors ModuleFolder in whichever module (DLL or program) this file is
// linked into.
void ModuleAnchor() {}

std::string FormatDate(VbDate date, ULONG flags) {
  BSTR text = nullptr;
  HRESULT result = VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text);
  if (FAILED(result)) throw VbErrorFromHresult(result);
  UniqueBstr owned(text);
  return AnsiFromBstr(text);
}

// CInt/CLng of a string, through the same OLE Automation parse VB uses.
template <typename Integer, typename Parse>
Integer IntegerFromString(std::string_view text, Parse parse) {
  UniqueBstr input = NewBstr(text);
  Integer value = 0;
  HRESULT result = parse(input.get(), LOCALE_USER_DEFAULT, 0, &value);
  if (FAILED(result)) throw VbErrorFromHresult(result);
  return value;
}

}  // namespace

VbError VbErrorFromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return VbError(vberr::kFileNotFound);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return VbError(vberr::kPathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return VbError(vberr::kPermissionDenied);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return VbError(vberr::kFileAlreadyExists);
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return VbError(vberr::kBadFileNameOrNumber);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return VbError(vberr::kDiskFull);
    case ERROR_NOT_READY:
      return VbError(vberr::kDiskNotReady);
    case ERROR_INVALID_DRIVE:
    case ERROR_DEV_NOT_EXIST:
      return VbError(vberr::kDeviceUnavailable);
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      return VbError(vberr::kDeviceIoError);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return VbError(vberr::kOutOfMemory);
    default: {
      std::string text = SystemMessage(error);
      return VbError(static_cast<int>(HRESULT_FROM_WIN32(error)),
                     text.empty() ? VbErrorDescription(440) : text);
    }
  }
}

VbError VbErrorFromHresult(HRESULT result, const std::string& description) {
  int number = 440;  // Automation error
  if ((static_cast<unsigned long>(result) & 0xFFFF0000UL) == 0x800A0000UL) {
    number = static_cast<int>(result & 0xFFFF);
  } else if (result == DISP_E_TYPEMISMATCH) {
    number = vberr::kTypeMismatch;
  } else if (result == DISP_E_OVERFLOW) {
    number = vberr::kOverflow;
  } else if (result == DISP_E_UNKNOWNNAME || result == DISP_E_MEMBERNOTFOUND) {
    number = 438;  // Object doesn't support this property or method
  } else if (result == E_OUTOFMEMORY) {
    number = vberr::kOutOfMemory;
  }
  return description.empty() ? VbError(number) : VbError(number, description);
}

std::string Win32Platform::ReadProfileString(const std::string& section, const std::string& key,
                                             const std::string& file) {
  char buffer[255];
  DWORD copied = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof(buffer),
                                          file.c_str());
  return std::string(buffer, copied);
}

bool Win32Platform::FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Platform::FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void Win32Platform::CreateFolder(const std::string& path) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) ThrowLastError();
}

std::vector<std::string> Win32Platform::FolderFileNames(const std::string& folder) {
  // GetFolder fails on a missing folder and on a file.
  if (!FolderExists(folder)) throw VbError(vberr::kPathNotFound);
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  FindHandle find(FindFirstFileA(pattern.c_str(), &entry));
  if (!find.valid()) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
    ThrowLastError();
  }
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.emplace_back(entry.cFileName);
    }
  } while (FindNextFileA(find.get(), &entry));
  if (GetLastError() != ERROR_NO_MORE_FILES) ThrowLastError();
  return names;
}

void Win32Platform::CopyFile(const std::string& source, const std::string& destination) {
  if (!CopyFileA(source.c_str(), destination.c_str(), FALSE)) ThrowLastError();
}

void Win32Platform::DeleteFile(const std::string& path) {
  if (!DeleteFileA(path.c_str())) ThrowLastError();
}

void Win32Platform::ListDirectory(const std::string& pattern,
                                  const std::function<bool(const std::string& name)>& visit) {
  WIN32_FIND_DATAA entry;
  FindHandle find(FindFirstFileA(pattern.c_str(), &entry));
  if (!find.valid()) return;
  constexpr DWORD kSkipped = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  do {
    if (IsDotEntry(entry.cFileName) || (entry.dwFileAttributes & kSkipped) != 0) continue;
    if (!visit(entry.cFileName)) return;
  } while (FindNextFileA(find.get(), &entry));
}

void Win32Platform::AppendToFile(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    // VB's Open statement calls a read-only file or a folder 75 where the
    // file-system object says 70; a file locked by another stays 70.
    if (error == ERROR_ACCESS_DENIED) throw VbError(vberr::kPathFileAccessError);
    throw VbErrorFromWin32(error);
  }
  DWORD error = ERROR_SUCCESS;
  while (!bytes.empty() && error == ERROR_SUCCESS) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      error = GetLastError();
    }
    bytes.remove_prefix(written);
  }
  CloseHandle(file);
  if (error != ERROR_SUCCESS) throw VbErrorFromWin32(error);
}

std::string Win32Platform::ModuleFolder() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ModuleAnchor), &module)) {
    ThrowLastError();
  }
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) ThrowLastError();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

int Win32Platform::MessageBox(const std::string& text, int style,
                              const std::optional<std::string>& title) {
  // Owned by the host's active window, as VB's MsgBox is, so the box is modal
  // to the host and comes up in front of it.
  std::string caption = title ? *title : std::string(kDefaultAppTitle);
  return MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(),
                     static_cast<UINT>(style) | MB_SETFOREGROUND);
}

std::intptr_t Win32Platform::ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                                          const std::string& file, const std::string& parameters,
                                          const std::string& directory, int show_command) {
  HINSTANCE result = ShellExecuteA(reinterpret_cast<HWND>(owner_window), verb.c_str(), file.c_str(),
                                   parameters.c_str(), directory.c_str(), show_command);
  return reinterpret_cast<std::intptr_t>(result);
}

void Win32Platform::SetCurrentDirectory(const std::string& folder) {
  if (!SetCurrentDirectoryA(folder.c_str())) ThrowLastError();
}

std::shared_ptr<void> Win32Platform::ConnectHostServer(const std::string& server_name) {
  IDispatch* raw = nullptr;
  HRESULT result = CoCreateInstance(kHostServerConnectionClsid, nullptr, CLSCTX_SERVER,
                                    IID_IDispatch, reinterpret_cast<void**>(&raw));
  if (FAILED(result) || raw == nullptr) throw VbError(vberr::kCantCreateObject);
  std::shared_ptr<IDispatch> component(raw, [](IDispatch* object) { object->Release(); });

  DISPID method = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(kSetServerNameMethod);
  result = component->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &method);
  if (FAILED(result)) throw VbErrorFromHresult(result);

  UniqueBstr argument = NewBstr(server_name);
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = argument.get();
  DISPPARAMS parameters = {&value, nullptr, 1, 0};
  VARIANT answer;
  VariantInit(&answer);
  EXCEPINFO exception = {};
  UINT bad_argument = 0;
  result = component->Invoke(method, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                             &answer, &exception, &bad_argument);
  VariantClear(&answer);
  if (FAILED(result)) {
    std::string description;
    if (result == DISP_E_EXCEPTION) {
      if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
      if (exception.scode != 0) {
        result = exception.scode;
      } else if (exception.wCode != 0) {
        result = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, exception.wCode);
      }
      description = AnsiFromBstr(exception.bstrDescription);
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
    }
    throw VbErrorFromHresult(result, description);
  }
  return component;
}

VbDate Win32Platform::Now() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  local.wMilliseconds = 0;  // VB's Now counts whole seconds
  double date = 0;
  SystemTimeToVariantTime(&local, &date);
  return date;
}

std::string Win32Platform::FormatGeneralDate(VbDate date) { return FormatDate(date, 0); }

// VarBstrFromDate prints a whole day as the short date alone and a bare time
// of day as the long time alone, so each part is formatted on its own (Wine's
// VAR_DATEVALUEONLY and VAR_TIMEVALUEONLY give "" for day zero and midnight).
// The day of a date is its integral part, the time of day the absolute
// fraction, also before 1899.
std::string Win32Platform::FormatShortDate(VbDate date) {
  double day = std::trunc(date);
  if (day != 0) return FormatDate(day, 0);
  SYSTEMTIME zero = {};
  zero.wYear = 1899;
  zero.wMonth = 12;
  zero.wDay = 30;
  char text[80];
  int length =
      GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &zero, nullptr, text, sizeof(text));
  if (length <= 0) ThrowLastError();
  return std::string(text, static_cast<std::size_t>(length - 1));
}

std::string Win32Platform::FormatTimeOfDay(VbDate date) {
  return FormatDate(std::fabs(date - std::trunc(date)), 0);
}

std::string Win32Platform::DateSeparator() {
  char separator[8];
  int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDATE, separator, sizeof(separator));
  return length > 1 ? std::string(separator, static_cast<std::size_t>(length - 1)) : "/";
}

std::optional<VbDate> Win32Platform::ParseDate(std::string_view text) {
  UniqueBstr input = NewBstr(text);
  DATE date = 0;
  if (FAILED(VarDateFromStr(input.get(), LOCALE_USER_DEFAULT, 0, &date))) return std::nullopt;
  return date;
}

std::int16_t Win32Platform::CIntFromString(std::string_view text) {
  return IntegerFromString<SHORT>(text, VarI2FromStr);
}

std::int32_t Win32Platform::CLngFromString(std::string_view text) {
  return IntegerFromString<LONG>(text, VarI4FromStr);
}

}  // namespace tavirex
