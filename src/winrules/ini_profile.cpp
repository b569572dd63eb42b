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

std::string_view ProfileUnquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::optional<std::string> AnsiFromUtf16Profile(std::string_view file_bytes) {
  if (!file_bytes.starts_with("\xFF\xFE") && !file_bytes.starts_with("\xFE\xFF")) {
    return std::nullopt;
  }
  return AnsiFromUtf16Bytes(file_bytes.substr(2), /*big_endian=*/file_bytes[0] == '\xFE');
}

ProfileLine ReadProfileLine(std::string_view line) {
  line = ProfileTrim(line);
  if (line.empty() || line.front() == ';') return {};
  if (line.front() == '[') {
    const std::string_view name = line.substr(1);
    return {ProfileLine::Kind::kSection, ProfileTrim(name.substr(0, name.find(']'))), {}};
  }
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return {ProfileLine::Kind::kKey, line, {}};
  return {ProfileLine::Kind::kKey, ProfileTrim(line.substr(0, equals)),
          ProfileTrim(line.substr(equals + 1))};
}

std::string ProfileLookup(std::string_view file_bytes, std::string_view section,
                          std::string_view key, std::size_t buffer_size) {
  const std::optional<std::string> decoded = AnsiFromUtf16Profile(file_bytes);
  const std::string_view text = decoded ? *decoded : file_bytes;
  section = ProfileTrim(section);
  key = ProfileTrim(key);
  const std::size_t limit = buffer_size == 0 ? 0 : buffer_size - 1;

  bool in_section = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const ProfileLine line = ReadProfileLine(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.kind == ProfileLine::Kind::kSection) {
      // The first section of that name has ended: later ones are not searched.
      if (in_section) return "";
      in_section = EqualsIgnoreCaseAnsi(line.name, section);
    } else if (in_section && line.kind == ProfileLine::Kind::kKey &&
               EqualsIgnoreCaseAnsi(line.name, key)) {
      // A key without a value reads as "".
      return std::string(ProfileUnquote(line.value.value_or("")).substr(0, limit));
    }
  }
  return "";
}

std::string ProfileLookupUtf8(std::string_view file_bytes, std::string_view section,
                              std::string_view key) {
  return Utf8FromCp1252(ProfileLookup(file_bytes, Cp1252FromUtf8(section), Cp1252FromUtf8(key)));
}

}  // namespace tavirex
