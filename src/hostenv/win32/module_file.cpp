#include "hostenv/win32/module_file.h"

#include "hostenv/system.h"
#include "hostenv/win32/text.h"

namespace tavirex {
namespace {

// Its address lies in whichever module this file is linked into.
void ModuleAnchor() {}

}  // namespace

HMODULE CodeModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModuleAnchor), &module);
  return module;
}

std::wstring CodeModulePath() {
  HMODULE module = CodeModule();
  if (module == nullptr) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string ModuleFilePath() { return Utf8FromWide(CodeModulePath()); }

}  // namespace tavirex
