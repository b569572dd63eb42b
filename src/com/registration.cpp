#include "com/registration.h"

#include <string>
#include <string_view>

#include "com/module.h"
#include "com/tavirex_h.h"
#include "hostenv/win32/module_file.h"

// Declared by newer SDKs only; oleaut32 has exported them since Vista.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* help_dir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                        SYSKIND syskind);
}

namespace tavirex::com {
namespace {

// One value under the classes root. In `key` and `data`, "%CLSID%", "%LIBID%"
// and "%MODULE%" stand for the class identifier, the type library identifier
// and the DLL path. A null `name` is the key's default value; a null `data`
// creates the key without a value.
struct RegistryValue {
  const wchar_t* key;
  const wchar_t* name;
  const wchar_t* data;
};

constexpr RegistryValue kRegistryValues[] = {
    {L"CLSID\\%CLSID%", nullptr, L"Tavirex.clsTavirex"},
    {L"CLSID\\%CLSID%\\InprocServer32", nullptr, L"%MODULE%"},
    {L"CLSID\\%CLSID%\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\%CLSID%\\ProgID", nullptr, L"Tavirex.clsTavirex.1"},
    {L"CLSID\\%CLSID%\\VersionIndependentProgID", nullptr, L"Tavirex.clsTavirex"},
    {L"CLSID\\%CLSID%\\TypeLib", nullptr, L"%LIBID%"},
    {L"CLSID\\%CLSID%\\Version", nullptr, L"1.0"},
    {L"CLSID\\%CLSID%\\Programmable", nullptr, nullptr},
    {L"Tavirex.clsTavirex", nullptr, L"Tavirex.clsTavirex"},
    {L"Tavirex.clsTavirex\\CLSID", nullptr, L"%CLSID%"},
    {L"Tavirex.clsTavirex\\CurVer", nullptr, L"Tavirex.clsTavirex.1"},
    {L"Tavirex.clsTavirex.1", nullptr, L"Tavirex.clsTavirex"},
    {L"Tavirex.clsTavirex.1\\CLSID", nullptr, L"%CLSID%"},
};

// The topmost keys of kRegistryValues: unregistration deletes each with all
// it holds. The type library's own keys belong to (Un)RegisterTypeLib.
constexpr const wchar_t* kOwnedKeys[] = {
    L"CLSID\\%CLSID%",
    L"Tavirex.clsTavirex",
    L"Tavirex.clsTavirex.1",
};

// The classes root of a scope, as a key under HKLM or HKCU.
constexpr const wchar_t* kClassesRoot = L"Software\\Classes";

HKEY RootOf(RegistrationScope scope) {
  return scope == RegistrationScope::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring Expand(std::wstring_view pattern, const std::wstring& module_path) {
  const std::pair<std::wstring_view, std::wstring> substitutions[] = {
      {L"%CLSID%", GuidText(CLSID_clsTavirex)},
      {L"%LIBID%", GuidText(LIBID_Tavirex)},
      {L"%MODULE%", module_path},
  };
  std::wstring result(pattern);
  for (const auto& [placeholder, value] : substitutions) {
    for (std::size_t at = result.find(placeholder); at != std::wstring::npos;
         at = result.find(placeholder, at + value.size())) {
      result.replace(at, placeholder.size(), value);
    }
  }
  return result;
}

HRESULT WriteValue(RegistrationScope scope, const RegistryValue& entry,
                   const std::wstring& module_path) {
  std::wstring key = std::wstring(kClassesRoot) + L"\\" + Expand(entry.key, module_path);
  HKEY handle = nullptr;
  LONG status = RegCreateKeyExW(RootOf(scope), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  if (entry.data != nullptr) {
    std::wstring data = Expand(entry.data, module_path);
    status =
        RegSetValueExW(handle, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(handle);
  return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteOwnedKeys(RegistrationScope scope) {
  HRESULT result = S_OK;
  for (const wchar_t* owned : kOwnedKeys) {
    std::wstring key = std::wstring(kClassesRoot) + L"\\" + Expand(owned, {});
    LONG status = RegDeleteTreeW(RootOf(scope), key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result)) {
      result = HRESULT_FROM_WIN32(status);
    }
  }
  return result;
}

HRESULT UnregisterTypeLibrary(RegistrationScope scope) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadEmbeddedTypeLib(&library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (SUCCEEDED(hr)) {
    hr = scope == RegistrationScope::kUser
             ? UnRegisterTypeLibForUser(attributes->guid, attributes->wMajorVerNum,
                                        attributes->wMinorVerNum, attributes->lcid,
                                        attributes->syskind)
             : UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum,
                                 attributes->wMinorVerNum, attributes->lcid, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
    // A type library that is not registered is already unregistered.
    if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY) hr = S_OK;
  }
  library->Release();
  return hr;
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope) {
  std::wstring module_path = CodeModulePath();
  if (module_path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  HRESULT hr = S_OK;
  for (const RegistryValue& entry : kRegistryValues) {
    hr = WriteValue(scope, entry, module_path);
    if (FAILED(hr)) break;
  }
  if (SUCCEEDED(hr)) {
    ITypeLib* library = nullptr;
    hr = LoadEmbeddedTypeLib(&library);
    if (SUCCEEDED(hr)) {
      hr = scope == RegistrationScope::kUser
               ? RegisterTypeLibForUser(library, module_path.data(), nullptr)
               : RegisterTypeLib(library, module_path.data(), nullptr);
      library->Release();
    }
  }
  // Half a registration is worse than none.
  if (FAILED(hr)) UnregisterServer(scope);
  return hr;
}

HRESULT UnregisterServer(RegistrationScope scope) {
  HRESULT keys = DeleteOwnedKeys(scope);
  HRESULT library = UnregisterTypeLibrary(scope);
  return FAILED(keys) ? keys : library;
}

}  // namespace tavirex::com
