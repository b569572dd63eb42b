#include "hostenv/win32/win32_platform.h"

#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "hostenv/system.h"
#include "hostenv/win32/late_bound.h"
#include "hostenv/win32/module_file.h"
#include "hostenv/win32/text.h"
#include "winrules/fs_error.h"

namespace tavirex {
namespace {

struct BstrFree {
  void operator()(BSTR text) const { SysFreeString(text); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrFree>;

UniqueBstr NewBstr(std::string_view text) { return UniqueBstr(BstrFromUtf8(text)); }

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

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The system's text for an error code, without its trailing line break.
std::string SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Utf8FromWide(std::wstring_view(buffer, length)) : std::string();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// The system's failure as VB shows an automation error it has no number for:
// the HRESULT as the number, with the system's text.
VbError UnnumberedFailure(DWORD error) {
  std::string text = SystemMessage(error);
  return VbError(static_cast<int>(HRESULT_FROM_WIN32(error)),
                 text.empty() ? VbErrorDescription(vberr::kAutomationError) : text);
}

// How the file-system object sorts the system's error codes; nullopt for the
// codes it has no number for.
std::optional<FsCondition> ConditionOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return FsCondition::kNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return FsCondition::kPathNotFound;
    case ERROR_ACCESS_DENIED:
      return FsCondition::kAccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FsCondition::kSharing;
    case ERROR_WRITE_PROTECT:
      return FsCondition::kWriteProtected;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FsCondition::kExists;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return FsCondition::kBadName;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FsCondition::kDiskFull;
    case ERROR_NOT_READY:
      return FsCondition::kNotReady;
    case ERROR_INVALID_DRIVE:
    case ERROR_DEV_NOT_EXIST:
      return FsCondition::kNoDevice;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      return FsCondition::kDeviceError;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return FsCondition::kOutOfMemory;
    default:
      return std::nullopt;
  }
}

VbError FileFailure(DWORD error, FsOperation operation) {
  std::optional<FsCondition> condition = ConditionOf(error);
  return condition ? FsFailure(*condition, operation) : UnnumberedFailure(error);
}

[[noreturn]] void ThrowLastError(FsOperation operation) {
  throw FileFailure(GetLastError(), operation);
}

std::string FormatDate(VbDate date, ULONG flags) {
  BSTR text = nullptr;
  HRESULT result = VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text);
  if (FAILED(result)) throw VbErrorFromHresult(result);
  UniqueBstr owned(text);
  return Utf8FromBstr(text);
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

std::unique_ptr<Platform> MakeSystemPlatform(bool /*interactive*/) {
  return std::make_unique<Win32Platform>();
}

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) throw std::bad_alloc();
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string Utf8FromProfileBytes(std::string_view bytes) { return Utf8FromAnsi(bytes); }
std::string ProfileBytesFromUtf8(std::string_view text) { return AnsiFromUtf8(text); }

const SystemNotes& SystemPlatformNotes() {
  static const SystemNotes notes = {"", " (the Windows directory needs administrator rights)"};
  return notes;
}

VbError VbErrorFromWin32(DWORD error) {
  if (ConditionOf(error) == FsCondition::kOutOfMemory) return VbError(vberr::kOutOfMemory);
  return UnnumberedFailure(error);
}

VbError VbErrorFromHresult(HRESULT result, const std::string& description) {
  int number = vberr::kAutomationError;
  if (std::optional<int> vb_number = VbNumberFromHresult(result)) {
    number = *vb_number;
  } else if (result == DISP_E_TYPEMISMATCH) {
    number = vberr::kTypeMismatch;
  } else if (result == DISP_E_OVERFLOW) {
    number = vberr::kOverflow;
  } else if (result == DISP_E_UNKNOWNNAME || result == DISP_E_MEMBERNOTFOUND) {
    number = vberr::kMemberNotSupported;
  } else if (result == E_OUTOFMEMORY) {
    number = vberr::kOutOfMemory;
  }
  return description.empty() ? VbError(number) : VbError(number, description);
}

std::string Win32Platform::ReadProfileString(const std::string& section, const std::string& key,
                                             const std::string& file) {
  char buffer[255];
  DWORD copied = GetPrivateProfileStringA(AnsiFromUtf8(section).c_str(), AnsiFromUtf8(key).c_str(),
                                          "", buffer, sizeof(buffer), AnsiFromUtf8(file).c_str());
  return Utf8FromAnsi(std::string_view(buffer, copied));
}

std::string Win32Platform::ProfileFilePath(const std::string& file) {
  if (file.find_first_of("\\/") != std::string::npos) return file;
  wchar_t folder[MAX_PATH + 1] = {};
  UINT length = GetWindowsDirectoryW(folder, MAX_PATH + 1);
  return Utf8FromWide(std::wstring_view(folder, length)) + "\\" + file;
}

bool Win32Platform::FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Platform::FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void Win32Platform::CreateFolder(const std::string& path) {
  if (!CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr)) {
    ThrowLastError(FsOperation::kCreateFolder);
  }
}

std::vector<std::string> Win32Platform::FolderFileNames(const std::string& folder) {
  // GetFolder fails on a missing folder and on a file.
  if (!FolderExists(folder)) throw FsFailure(FsCondition::kPathNotFound, FsOperation::kList);
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW(WideFromUtf8(pattern).c_str(), &entry));
  if (!find.valid()) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
    ThrowLastError(FsOperation::kList);
  }
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.push_back(Utf8FromWide(entry.cFileName));
    }
  } while (FindNextFileW(find.get(), &entry));
  if (GetLastError() != ERROR_NO_MORE_FILES) ThrowLastError(FsOperation::kList);
  return names;
}

void Win32Platform::CopyFile(const std::string& source, const std::string& destination) {
  if (!CopyFileW(WideFromUtf8(source).c_str(), WideFromUtf8(destination).c_str(), FALSE)) {
    ThrowLastError(FsOperation::kCopy);
  }
}

void Win32Platform::FlushFile(const std::string& path) {
  HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError(FsOperation::kCopy);
  const DWORD error = FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
  CloseHandle(file);
  if (error != ERROR_SUCCESS) throw FileFailure(error, FsOperation::kTransfer);
}

void Win32Platform::DeleteFile(const std::string& path) {
  if (!DeleteFileW(WideFromUtf8(path).c_str())) ThrowLastError(FsOperation::kDelete);
}

void Win32Platform::MoveReplacing(const std::string& source, const std::string& destination) {
  if (!MoveFileExW(WideFromUtf8(source).c_str(), WideFromUtf8(destination).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowLastError(FsOperation::kReplace);
  }
}

void Win32Platform::MoveFile(const std::string& source, const std::string& destination) {
  if (!MoveFileExW(WideFromUtf8(source).c_str(), WideFromUtf8(destination).c_str(),
                   MOVEFILE_WRITE_THROUGH)) {
    ThrowLastError(FsOperation::kReplace);
  }
}

void Win32Platform::ListDirectory(const std::string& pattern,
                                  const std::function<bool(const std::string& name)>& visit) {
  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW(WideFromUtf8(pattern).c_str(), &entry));
  if (!find.valid()) return;
  constexpr DWORD kSkipped = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  do {
    if (IsDotEntry(entry.cFileName) || (entry.dwFileAttributes & kSkipped) != 0) continue;
    if (!visit(Utf8FromWide(entry.cFileName))) return;
  } while (FindNextFileW(find.get(), &entry));
}

void Win32Platform::AppendToFile(const std::string& path, std::string_view text) {
  HANDLE file =
      CreateFileW(WideFromUtf8(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError(FsOperation::kAppend);
  // The bytes VB's Print # writes: the text in the ANSI code page.
  const std::string ansi = AnsiFromUtf8(text);
  std::string_view bytes = ansi;
  DWORD error = ERROR_SUCCESS;
  while (!bytes.empty() && error == ERROR_SUCCESS) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      error = GetLastError();
    }
    bytes.remove_prefix(written);
  }
  CloseHandle(file);
  if (error != ERROR_SUCCESS) throw FileFailure(error, FsOperation::kTransfer);
}

std::string Win32Platform::ModuleFolder() {
  const std::string path = ModuleFilePath();
  if (path.empty()) throw VbErrorFromWin32(GetLastError());
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

UINT MessageBoxFlags(int style) { return static_cast<UINT>(style) | MB_SETFOREGROUND; }

int Win32Platform::MessageBox(const std::string& text, int style,
                              const std::optional<std::string>& title) {
  // Owned by the host's active window, as VB's MsgBox is, so the box is modal
  // to the host and comes up in front of it. Its answers are VB's numbers.
  static_assert(msgbox::kOk == IDOK && msgbox::kCancel == IDCANCEL && msgbox::kYes == IDYES &&
                msgbox::kNo == IDNO);
  std::string caption = title ? *title : std::string(kDefaultAppTitle);
  return MessageBoxW(GetActiveWindow(), WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(),
                     MessageBoxFlags(style));
}

std::intptr_t Win32Platform::ShellExecute(std::uintptr_t owner_window, const std::string& verb,
                                          const std::string& file, const std::string& parameters,
                                          const std::string& directory, int show_command) {
  HINSTANCE result = ShellExecuteA(reinterpret_cast<HWND>(owner_window), AnsiFromUtf8(verb).c_str(),
                                   AnsiFromUtf8(file).c_str(), AnsiFromUtf8(parameters).c_str(),
                                   AnsiFromUtf8(directory).c_str(), show_command);
  return reinterpret_cast<std::intptr_t>(result);
}

void Win32Platform::SetCurrentDirectory(const std::string& folder) {
  if (!SetCurrentDirectoryW(WideFromUtf8(folder).c_str())) {
    ThrowLastError(FsOperation::kChangeFolder);
  }
}

std::shared_ptr<void> Win32Platform::ConnectHostServer(const std::string& component_class,
                                                       const std::string& method,
                                                       const std::string& server_name) {
  // As VB's CreateObject and a late-bound call: a ProgID or the class
  // identifier itself, the method by name.
  auto component = std::make_shared<LateBoundObject>(LateBoundObject::Create(component_class));
  component->Invoke(method, DISPATCH_METHOD, {Variant::Text(server_name)});
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
  wchar_t text[80];
  int length = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &zero, nullptr, text, 80);
  if (length <= 0) throw VbErrorFromWin32(GetLastError());
  return Utf8FromWide(std::wstring_view(text, static_cast<std::size_t>(length - 1)));
}

std::string Win32Platform::FormatTimeOfDay(VbDate date) {
  return FormatDate(std::fabs(date - std::trunc(date)), 0);
}

std::string Win32Platform::DateSeparator() {
  wchar_t separator[8];
  int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDATE, separator, 8);
  return length > 1
             ? Utf8FromWide(std::wstring_view(separator, static_cast<std::size_t>(length - 1)))
             : "/";
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
