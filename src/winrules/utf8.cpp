#include "winrules/utf8.h"

namespace tavirex {
namespace {

constexpr char32_t kFirstSupplementary = 0x10000;

std::size_t UnitsOf(const Utf8Char& c) {
  return c.code_point != kNotUtf8 && c.code_point >= kFirstSupplementary ? 2 : 1;
}

}  // namespace

Utf8Char DecodeUtf8(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t code_point = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
    minimum = kFirstSupplementary;
  } else {
    return {kNotUtf8, 1};
  }
  if (text.size() - at < length) return {kNotUtf8, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return {kNotUtf8, 1};
    code_point = code_point << 6 | (next & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF) return {kNotUtf8, 1};
  return {code_point, length};
}

void AppendUtf8(std::string& text, char32_t code_point) {
  if (code_point < 0x80) {
    text.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    text.push_back(static_cast<char>(0xC0 | code_point >> 6));
    text.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < kFirstSupplementary) {
    text.push_back(static_cast<char>(0xE0 | code_point >> 12));
    text.push_back(static_cast<char>(0x80 | (code_point >> 6 & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    text.push_back(static_cast<char>(0xF0 | code_point >> 18));
    text.push_back(static_cast<char>(0x80 | (code_point >> 12 & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (code_point >> 6 & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = DecodeUtf8(text, i);
    units += UnitsOf(c);
    i += c.length;
  }
  return units;
}

std::size_t Utf16CutPoint(std::string_view text, std::size_t units) {
  std::size_t i = 0;
  while (i < text.size()) {
    const Utf8Char c = DecodeUtf8(text, i);
    if (UnitsOf(c) > units) break;
    units -= UnitsOf(c);
    i += c.length;
  }
  return i;
}

char32_t UpperCaseOf(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
  if (c < 0x100) {
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // à..þ, not ÷
    return c == 0xFF ? 0x178 : c;                              // ÿ Ÿ
  }
  if (c < 0x180) {  // Latin Extended-A: pairs of capital and small letter
    if ((c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~1u;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    return c;
  }
  if (c >= 0x3AC && c <= 0x3CE) {  // Greek
    if (c == 0x3AC) return 0x386;
    if (c <= 0x3AF) return c - 0x25;  // έ ή ί
    if (c == 0x3C2) return 0x3A3;     // final sigma
    if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;
    if (c == 0x3CC) return 0x38C;
    if (c >= 0x3CD) return c - 0x3F;  // ύ ώ
    return c;
  }
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // Cyrillic а..я
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;  // ѐ..џ
  return c;
}

std::string UpperCase(std::string_view text) {
  std::string upper;
  upper.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = DecodeUtf8(text, i);
    if (c.code_point == kNotUtf8) {
      upper.push_back(text[i]);
    } else {
      AppendUtf8(upper, UpperCaseOf(c.code_point));
    }
    i += c.length;
  }
  return upper;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const Utf8Char x = DecodeUtf8(a, i);
    const Utf8Char y = DecodeUtf8(b, j);
    if (x.code_point == kNotUtf8 || y.code_point == kNotUtf8) {
      if (x.code_point != y.code_point || a[i] != b[j]) return false;
    } else if (UpperCaseOf(x.code_point) != UpperCaseOf(y.code_point)) {
      return false;
    }
    i += x.length;
    j += y.length;
  }
  return i == a.size() && j == b.size();
}

}  // namespace tavirex
