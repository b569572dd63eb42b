#include "winrules/ini_profile.h"

#include "winrules/ansi_text.h"

namespace tavirex {
namespace {

bool IsProfileBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1a';
}

}  // namespace

std::string_view ProfileTrim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsProfileBlank(text[begin])) ++begin;
  while (end > begin && IsProfileBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

namespace {

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::string ProfileLookup(std::string_view file_bytes, std::string_view section,
                          std::string_view key, std::size_t buffer_size) {
  std::string decoded;
  std::string_view text = file_bytes;
  if (text.size() >= 2 && text[0] == '\xff' && text[1] == '\xfe') {
    decoded = AnsiFromUtf16Bytes(text.substr(2), /*big_endian=*/false);
    text = decoded;
  } else if (text.size() >= 2 && text[0] == '\xfe' && text[1] == '\xff') {
    decoded = AnsiFromUtf16Bytes(text.substr(2), /*big_endian=*/true);
    text = decoded;
  }
  section = ProfileTrim(section);
  key = ProfileTrim(key);
  const std::size_t limit = buffer_size == 0 ? 0 : buffer_size - 1;

  bool in_section = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = ProfileTrim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      // The first section of that name has ended: later ones are not searched.
      if (in_section) return "";
      std::string_view name = line.substr(1);
      name = name.substr(0, name.find(']'));
      in_section = EqualsIgnoreCaseAnsi(ProfileTrim(name), section);
      continue;
    }
    if (!in_section) continue;

    std::size_t equals = line.find('=');
    if (!EqualsIgnoreCaseAnsi(ProfileTrim(line.substr(0, equals)), key)) continue;
    if (equals == std::string_view::npos) return "";  // a key without a value
    return std::string(Unquote(ProfileTrim(line.substr(equals + 1))).substr(0, limit));
  }
  return "";
}

std::string ProfileLookupUtf8(std::string_view file_bytes, std::string_view section,
                              std::string_view key) {
  return Utf8FromCp1252(ProfileLookup(file_bytes, Cp1252FromUtf8(section), Cp1252FromUtf8(key)));
}

}  // namespace tavirex
