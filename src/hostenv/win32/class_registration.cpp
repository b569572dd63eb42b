#include <optional>
#include <vector>

#include "hostenv/system.h"
#include "hostenv/win32/text.h"
#include "hostenv/win32/windows_api.h"

namespace tavirex {
namespace {

// The default value of HKEY_CLASSES_ROOT\`key`, environment strings expanded;
// nullopt when the key or its value is missing.
std::optional<std::wstring> ClassesRootDefault(const std::wstring& key) {
  std::vector<wchar_t> value(MAX_PATH + 1, L'\0');
  for (;;) {
    // A REG_EXPAND_SZ comes back expanded, as REG_SZ.
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ,
                                        nullptr, value.data(), &size);
    if (status == ERROR_SUCCESS) return std::wstring(value.data());
    if (status != ERROR_MORE_DATA) return std::nullopt;
    value.assign(size / sizeof(wchar_t) + 1, L'\0');
  }
}

// "C:\x\tavirex.dll" from a server value that may be quoted or, for a
// program, carry arguments after the quoted path.
std::wstring ServerFile(std::wstring value) {
  if (!value.empty() && value.front() == L'"') {
    const std::size_t close = value.find(L'"', 1);
    return value.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
  }
  return value;
}

}  // namespace

ClassRegistration FindClassRegistration(const std::string& prog_id_or_clsid) {
  ClassRegistration registration;
  registration.state = ClassRegistration::State::kNotRegistered;
  std::wstring clsid = WideFromUtf8(prog_id_or_clsid);
  if (clsid.empty() || clsid.front() != L'{') {
    std::optional<std::wstring> found = ClassesRootDefault(clsid + L"\\CLSID");
    if (!found) return registration;
    clsid = *found;
  }
  for (const wchar_t* server : {L"InprocServer32", L"LocalServer32"}) {
    if (std::optional<std::wstring> file =
            ClassesRootDefault(L"CLSID\\" + clsid + L"\\" + server)) {
      registration.state = ClassRegistration::State::kRegistered;
      const std::wstring path = ServerFile(*file);
      registration.server = Utf8FromWide(path);
      return registration;
    }
  }
  // A class key without a server may still be creatable some other way.
  if (ClassesRootDefault(L"CLSID\\" + clsid)) {
    registration.state = ClassRegistration::State::kRegistered;
  }
  return registration;
}

}  // namespace tavirex
