// Where the plug-in's UTF-8 text meets Windows: the UTF-16 of the wide APIs
// and of automation strings, without loss (a lone surrogate travels as
// WTF-8, winrules/utf8.h), and the ANSI code page of the A functions the
// plug-in calls as a VB Declare does, with the system's best fit and '?' for
// what the code page lacks.
#pragma once

#include <string>
#include <string_view>

#include "hostenv/win32/windows_api.h"

namespace tavirex {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// A NULL BSTR is the empty string.
std::string Utf8FromBstr(BSTR text);
// A new BSTR the caller frees with SysFreeString; throws std::bad_alloc.
BSTR BstrFromUtf8(std::string_view text);

// The text as the A functions take it, and their text back in UTF-8.
std::string AnsiFromUtf8(std::string_view text);
std::string Utf8FromAnsi(std::string_view text);

}  // namespace tavirex
