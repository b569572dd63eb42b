#include <aclapi.h>
#include <windows.h>

#include "hostenv/win32/text.h"
#include "tools/config/file_access.h"

namespace tavirex::config {
namespace {

std::string SystemError(const std::string& what) {
  wchar_t text[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, 512, nullptr);
  std::string message = Utf8FromWide(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return what + ": " + message;
}

}  // namespace

FileState ReadFileState(const std::string& path) {
  FileState state;
  const std::wstring wide = WideFromUtf8(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      state = {FileState::Kind::kUnreadable, "", SystemError("")};
    }
    return state;
  }
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    return {FileState::Kind::kNotAFile, "", "a folder"};
  }
  state.read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {FileState::Kind::kUnreadable, "", SystemError("")};
  char buffer[65536];
  DWORD got = 0;
  BOOL ok = TRUE;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
    state.bytes.append(buffer, got);
  }
  CloseHandle(file);
  if (!ok) return {FileState::Kind::kUnreadable, "", SystemError("")};
  state.kind = FileState::Kind::kFile;
  HANDLE probe = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  state.writable = probe != INVALID_HANDLE_VALUE;
  if (state.writable) CloseHandle(probe);
  return state;
}

std::string WriteNewFile(const std::string& path, const std::string& bytes) {
  const std::wstring wide = WideFromUtf8(path);
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return SystemError("cannot create " + path);
  DWORD wrote = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
      wrote == bytes.size() && FlushFileBuffers(file);
  std::string error = ok ? "" : SystemError("cannot write " + path);
  CloseHandle(file);
  if (!ok) DeleteFileW(wide.c_str());
  return error;
}

std::string ReplaceKeeping(const std::string& replacement, const std::string& path) {
  const std::wstring target = WideFromUtf8(path);
  const std::wstring source = WideFromUtf8(replacement);
  // ReplaceFile keeps the replaced file's attributes and security.
  if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (!ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr,
                      nullptr)) {
      return SystemError("cannot replace " + path);
    }
  } else if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    return SystemError("cannot create " + path);
  }
  return "";
}

std::string NativePath(Platform&, const std::string& windows_path) { return windows_path; }

// An allow entry for Everyone, Authenticated Users or Users with read access.
bool EveryoneCanRead(const std::string& folder) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(WideFromUtf8(folder).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool everyone = acl == nullptr;  // no list at all: everyone has every right
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount && !everyone; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<void**>(&header)) ||
        header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      continue;
    }
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    auto* sid = reinterpret_cast<PSID>(&ace->SidStart);
    const bool reads = (ace->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) != 0;
    everyone = reads &&
               (IsWellKnownSid(sid, WinWorldSid) || IsWellKnownSid(sid, WinAuthenticatedUserSid) ||
                IsWellKnownSid(sid, WinBuiltinUsersSid));
  }
  LocalFree(descriptor);
  return everyone;
}

long long ModifiedTime(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(WideFromUtf8(file).c_str(), GetFileExInfoStandard, &data)) return 0;
  const ULONGLONG ticks = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                          data.ftLastWriteTime.dwLowDateTime;
  return static_cast<long long>(ticks / 10000000ULL) - 11644473600LL;
}

}  // namespace tavirex::config
