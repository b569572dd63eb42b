// The plug-in's text: UTF-8 in std::string throughout the core, converted
// only where it meets Windows (automation strings, the wide APIs, the ANSI
// code page of the A functions).
//
// Strictly it is WTF-8: a UTF-16 string may hold a surrogate without its
// partner (a BSTR, a Windows file name), and such a surrogate is kept as the
// three bytes UTF-8 would give it, so that every BSTR comes back unchanged.
// A byte that starts no well-formed character (a POSIX file name may hold
// any) counts as one character of its own and becomes U+FFFD in UTF-16.
//
// Lengths and cuts count UTF-16 code units, as a VB String does: a character
// outside the Basic Multilingual Plane (an emoji) counts two.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavirex {

// The code point of a byte that starts no well-formed character.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

struct Utf8Char {
  char32_t code_point;  // kNotUtf8 for a stray byte
  std::size_t length;   // bytes taken, at least 1
};

// The character that starts at byte `at` (< text.size()). Surrogates encoded
// on their own (ED A0 80 .. ED BF BF) are characters; overlong forms and
// values above U+10FFFF are not.
Utf8Char DecodeUtf8(std::string_view text, std::size_t at);

// Appends the UTF-8 (WTF-8 for a surrogate) of a code point up to U+10FFFF.
void AppendUtf8(std::string& text, char32_t code_point);

// UTF-16 to UTF-8: a surrogate pair becomes one character, a lone surrogate
// its own three bytes. `Unit` is char16_t, or wchar_t where it has 16 bits.
template <typename Unit>
std::string Utf8FromUtf16(const Unit* units, std::size_t count) {
  std::string text;
  text.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    char32_t unit = static_cast<char16_t>(units[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
      const char32_t next = static_cast<char16_t>(units[i + 1]);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      }
    }
    if (unit < 0x80) {
      text.push_back(static_cast<char>(unit));
    } else {
      AppendUtf8(text, unit);
    }
  }
  return text;
}

// UTF-8 to UTF-16, the inverse of Utf8FromUtf16; a stray byte is U+FFFD.
template <typename Unit>
std::basic_string<Unit> Utf16FromUtf8(std::string_view text) {
  std::basic_string<Unit> units;
  units.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      units.push_back(static_cast<Unit>(text[i++]));
      continue;
    }
    const Utf8Char c = DecodeUtf8(text, i);
    i += c.length;
    const char32_t code_point = c.code_point == kNotUtf8 ? 0xFFFD : c.code_point;
    if (code_point >= 0x10000) {
      units.push_back(static_cast<Unit>(0xD800 + ((code_point - 0x10000) >> 10)));
      units.push_back(static_cast<Unit>(0xDC00 + ((code_point - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<Unit>(code_point));
    }
  }
  return units;
}

// VB's Len: UTF-16 code units.
std::size_t Utf16Length(std::string_view text);
// Where VB's Left(text, units) ends and Mid(text, units + 1) begins, in
// bytes. A character outside the BMP that the cut would halve goes whole to
// the right, where VB would leave a lone surrogate on each side: nothing the
// plug-in hands such a half to (a file name, a program, a window) could use
// it, and the two parts always join back into the text.
std::size_t Utf16CutPoint(std::string_view text, std::size_t units);

// The upper case of a character, as names compare without regard to case:
// the letters of Latin-1 and Latin Extended-A (all of Windows-1252's and
// the Polish, Czech, Hungarian... ones), Greek and Cyrillic. Others stay.
char32_t UpperCaseOf(char32_t code_point);
// The text with every character in upper case; stray bytes stay as they are.
// Two texts are equal without regard to case when their upper cases are.
std::string UpperCase(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace tavirex
