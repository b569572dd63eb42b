// Text in the ANSI code page of a Western workstation (Windows-1252), the
// bytes the A functions of Windows read and write: case folding as the
// profile API compares names, and the conversions from UTF-16 and between
// that code page and the plug-in's UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "winrules/utf8.h"

namespace tavirex {

namespace ansi_detail {

constexpr std::array<unsigned char, 256> MakeUpperTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 0x20);
  // Accented letters: à..þ map to À..Þ except the division sign.
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) table[c] = static_cast<unsigned char>(c - 0x20);
  }
  table[0x9A] = 0x8A;  // š Š
  table[0x9C] = 0x8C;  // œ Œ
  table[0x9E] = 0x8E;  // ž Ž
  table[0xFF] = 0x9F;  // ÿ Ÿ
  return table;
}

inline constexpr std::array<unsigned char, 256> kUpper = MakeUpperTable();

// Unicode code points of Windows-1252 bytes 0x80..0x9F. The five bytes the
// code page leaves undefined map to the C1 control of the same value, as
// Windows does.
inline constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace ansi_detail

inline char UpperAnsi(char c) {
  return static_cast<char>(ansi_detail::kUpper[static_cast<unsigned char>(c)]);
}

inline bool EqualsIgnoreCaseAnsi(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAnsi(a[i]) != UpperAnsi(b[i])) return false;
  }
  return true;
}

// One UTF-16 code unit as a Windows-1252 byte; '?' when the code page has no
// such character (Windows would pick a "best fit" look-alike for some).
inline char AnsiFromUtf16Unit(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (std::size_t i = 0; i < ansi_detail::kHighControls.size(); ++i) {
    if (ansi_detail::kHighControls[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Windows-1252 bytes as UTF-8.
inline std::string Utf8FromCp1252(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    AppendUtf8(text, b >= 0x80 && b < 0xA0 ? ansi_detail::kHighControls[b - 0x80] : b);
  }
  return text;
}

// UTF-8 as Windows-1252, as a VB Declare passes a String to an A function:
// '?' for what the code page lacks (Windows would pick a "best fit"
// look-alike for some), one '?' for a character outside the BMP.
inline std::string Cp1252FromUtf8(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = DecodeUtf8(text, i);
    i += c.length;
    bytes.push_back(c.code_point < 0x10000 ? AnsiFromUtf16Unit(static_cast<char16_t>(c.code_point))
                                           : '?');
  }
  return bytes;
}

// UTF-16 bytes (little or big endian, without BOM) to Windows-1252. A
// surrogate pair becomes a single '?'; an odd trailing byte is dropped.
inline std::string AnsiFromUtf16Bytes(std::string_view bytes, bool big_endian) {
  std::string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto lo = static_cast<unsigned char>(bytes[big_endian ? i + 1 : i]);
    auto hi = static_cast<unsigned char>(bytes[big_endian ? i : i + 1]);
    auto unit = static_cast<char16_t>(hi << 8 | lo);
    if (unit >= 0xDC00 && unit <= 0xDFFF) continue;  // second half of a pair
    text.push_back(AnsiFromUtf16Unit(unit));
  }
  return text;
}

}  // namespace tavirex
