// The lookup of GetPrivateProfileStringA with the default "", reproduced on
// the bytes of an INI file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavirex {

// A line, name or value without the blanks the profile API trims.
std::string_view ProfileTrim(std::string_view text);
// A value without the one outer pair of matching quotes the profile API drops.
std::string_view ProfileUnquote(std::string_view value);

// A UTF-16 file's text in the ANSI code page; nullopt for a file of ANSI text.
std::optional<std::string> AnsiFromUtf16Profile(std::string_view file_bytes);

// One line as the profile API reads it: a section header with the section's
// name, a key with its name and the value after the first '=' (nullopt
// without one; trimmed, quotes kept), or neither (blank or comment).
struct ProfileLine {
  enum class Kind { kNone, kSection, kKey };
  Kind kind = Kind::kNone;
  std::string_view name;
  std::optional<std::string_view> value;
};
ProfileLine ReadProfileLine(std::string_view line);

// The value of `key` in `section` of an INI file's bytes, as
// GetPrivateProfileStringA with default "" and a buffer of `buffer_size`
// characters copies it (at most buffer_size - 1 characters); "" when the
// section or key is missing or the key has no value.
//
// Rules as Windows reads a file: lines end at any run of CR and LF; lines, key
// names and values are trimmed of blanks (space, tab, VT, FF, CR, LF, ^Z);
// ';' starts a comment line, there are no inline comments and '#' is text;
// lines before the first section are ignored; a section name ends at the
// first ']' (a '[' line without ']' names a section by the rest of the line);
// names compare without regard to case; the first of duplicate keys wins and
// only the first of duplicate sections is searched; one outer pair of matching
// quotes is removed from a value of at least two characters.
//
// A UTF-16 file (FF FE, or FE FF as Wine also reads) is converted to the ANSI
// code page taken as Windows-1252, '?' for characters it lacks. A UTF-8 BOM is
// not recognised: its bytes stay at the start of the first line, as on Windows.
std::string ProfileLookup(std::string_view file_bytes, std::string_view section,
                          std::string_view key, std::size_t buffer_size = 255);

// ProfileLookup as the plug-in calls GetPrivateProfileStringA, the way a VB
// Declare passes its Strings: the UTF-8 section and key names converted to
// Windows-1252, the value (at most 254 characters) back to UTF-8.
std::string ProfileLookupUtf8(std::string_view file_bytes, std::string_view section,
                              std::string_view key);

}  // namespace tavirex
