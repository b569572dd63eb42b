#include "hostenv/win32/ansi.h"

#include <new>

namespace tavirex {

std::string AnsiFromWide(const wchar_t* text, int len) {
  if (text == nullptr || len == 0) return {};
  if (len < 0) len = static_cast<int>(wcslen(text));
  if (len == 0) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text, len, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, len, result.data(), size, nullptr, nullptr);
  return result;
}

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  int len = static_cast<int>(text.size());
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), len, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), len, result.data(), size);
  return result;
}

std::string AnsiFromBstr(BSTR text) {
  if (text == nullptr) return {};
  return AnsiFromWide(text, static_cast<int>(SysStringLen(text)));
}

BSTR BstrFromAnsi(std::string_view text) {
  std::wstring wide = WideFromAnsi(text);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (result == nullptr) throw std::bad_alloc();
  return result;
}

}  // namespace tavirex
