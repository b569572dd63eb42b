// The profile lookup over any file bytes. Input: the section name, a line
// feed, the key name, a line feed, then the file's bytes.
#include <string>

#include "fuzz_support.h"
#include "winrules/ansi_text.h"
#include "winrules/vb_string.h"

using namespace tavirex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string section(fuzz::TakeLine(input));
  const std::string key(fuzz::TakeLine(input));
  const std::string file(input);

  // A buffer of 255 characters takes the first 254 of what a larger one takes.
  const std::string value = ProfileLookup(file, section, key);
  const std::string whole = ProfileLookup(file, section, key, 1 << 20);
  FUZZ_CHECK(value == whole.substr(0, 254), "[%s] vs [%s]", value.c_str(), whole.c_str());
  FUZZ_CHECK(ProfileLookup(file, section, key, 1).empty(), "buffer of one character");

  // Names match without regard to case and lose their outer blanks.
  auto upper = [](std::string name) {
    for (char& c : name) c = UpperAnsi(c);
    return name;
  };
  FUZZ_CHECK(ProfileLookup(file, upper(section), upper(key)) == value, "upper-case names");
  FUZZ_CHECK(ProfileLookup(file, " " + section + " ", "  " + key) == value, "padded names");
  // The plug-in's UTF-8 reaches the same bytes through the code page.
  FUZZ_CHECK(ProfileLookupUtf8(file, Utf8FromCp1252(section), Utf8FromCp1252(key)) ==
                 Utf8FromCp1252(value),
             "through UTF-8");

  if (file.starts_with("\xff\xfe") || file.starts_with("\xfe\xff")) return 0;  // UTF-16
  // Any run of CR and LF ends a line.
  FUZZ_CHECK(ProfileLookup(Replace(file, "\r\n", "\n"), section, key) == value, "CRLF as LF");
  FUZZ_CHECK(ProfileLookup(Replace(file, "\n", "\r"), section, key) == value, "LF as CR");
  // The first of duplicate sections and keys wins: a later one changes nothing.
  FUZZ_CHECK(
      ProfileLookup(file + "\r\n[" + section + "]\r\n" + key + "=x\r\n", section, key) == value ||
          value.empty(),
      "appended section");
  return 0;
}
