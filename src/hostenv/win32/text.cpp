#include "hostenv/win32/text.h"

#include <new>

#include "winrules/utf8.h"

namespace tavirex {

std::wstring WideFromUtf8(std::string_view text) { return Utf16FromUtf8<wchar_t>(text); }

std::string Utf8FromWide(std::wstring_view text) { return Utf8FromUtf16(text.data(), text.size()); }

std::string Utf8FromBstr(BSTR text) {
  if (text == nullptr) return {};
  return Utf8FromUtf16(text, SysStringLen(text));
}

BSTR BstrFromUtf8(std::string_view text) {
  const std::wstring wide = WideFromUtf8(text);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (result == nullptr) throw std::bad_alloc();
  return result;
}

std::string AnsiFromUtf8(std::string_view text) {
  const std::wstring wide = WideFromUtf8(text);
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, result.data(), size, nullptr, nullptr);
  return result;
}

std::string Utf8FromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
  return Utf8FromWide(wide);
}

}  // namespace tavirex
