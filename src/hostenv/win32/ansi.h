// Conversions between the workstation's ANSI code page, in which the plug-in
// keeps its texts, and the UTF-16 of Windows' wide APIs and automation strings.
#pragma once

#include <string>
#include <string_view>

#include "hostenv/win32/windows_api.h"

namespace tavirex {

// `len` characters of `text`, or up to its NUL when `len` is negative.
std::string AnsiFromWide(const wchar_t* text, int len);
std::wstring WideFromAnsi(std::string_view text);

// A NULL BSTR is the empty string.
std::string AnsiFromBstr(BSTR text);
// A new BSTR the caller frees with SysFreeString; throws std::bad_alloc.
BSTR BstrFromAnsi(std::string_view text);

}  // namespace tavirex
