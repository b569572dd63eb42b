#include <aclapi.h>
#include <windows.h>

#include "hostenv/admin_files.h"
#include "hostenv/win32/text.h"

namespace tavirex {

std::string ReplaceKeeping(const std::string& replacement, const std::string& path) {
  const std::wstring target = WideFromUtf8(path);
  const std::wstring source = WideFromUtf8(replacement);
  // ReplaceFile keeps the replaced file's attributes and security.
  const bool existed = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (existed ? ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH,
                             nullptr, nullptr)
              : MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    return "";
  }
  return "cannot replace " + path + " (system error " + std::to_string(GetLastError()) + ")";
}

// An entry that lets Everyone, Authenticated Users or Users read.
bool EveryoneCanRead(const std::string& folder) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(WideFromUtf8(folder).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool everyone = acl == nullptr;  // no list: every right for everyone
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount && !everyone; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<void**>(&ace)) ||
        ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
      continue;
    }
    auto* sid = reinterpret_cast<PSID>(&ace->SidStart);
    everyone = (ace->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) != 0 &&
               (IsWellKnownSid(sid, WinWorldSid) || IsWellKnownSid(sid, WinAuthenticatedUserSid) ||
                IsWellKnownSid(sid, WinBuiltinUsersSid));
  }
  LocalFree(descriptor);
  return everyone;
}

}  // namespace tavirex
