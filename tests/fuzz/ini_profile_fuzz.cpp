// The profile lookup over any file bytes. Input: the section name, a line
// feed, the key name, a line feed, then the file's bytes.
#include <string>

#include "fuzz_support.h"
#include "winrules/ansi_text.h"
#include "winrules/vb_string.h"

namespace {

using tavirex::ProfileLookup;

std::string UpperAll(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = tavirex::UpperAnsi(c);
  return upper;
}

bool IsUtf16(std::string_view bytes) {
  return bytes.size() >= 2 &&
         ((bytes[0] == '\xff' && bytes[1] == '\xfe') || (bytes[0] == '\xfe' && bytes[1] == '\xff'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = tavirex::fuzz::AsText(data, size);
  const std::string section(tavirex::fuzz::TakeLine(input));
  const std::string key(tavirex::fuzz::TakeLine(input));
  const std::string file(input);

  const std::string value = ProfileLookup(file, section, key);
  FUZZ_CHECK(value.size() <= 254, "%zu characters", value.size());

  // A buffer of 255 characters takes the first 254 of what a larger one takes.
  const std::string whole = ProfileLookup(file, section, key, 1 << 20);
  FUZZ_CHECK(value == whole.substr(0, 254), "[%s] vs [%s]", value.c_str(), whole.c_str());
  FUZZ_CHECK(ProfileLookup(file, section, key, 1).empty(), "buffer of one character");

  // Names match without regard to case and lose their outer blanks.
  FUZZ_CHECK(ProfileLookup(file, UpperAll(section), UpperAll(key)) == value, "upper-case names");
  FUZZ_CHECK(ProfileLookup(file, " " + section + " ", "  " + key) == value, "padded names");
  // The plug-in's UTF-8 reaches the same bytes through the code page.
  FUZZ_CHECK(
      tavirex::ProfileLookupUtf8(file, tavirex::Utf8FromCp1252(section),
                                 tavirex::Utf8FromCp1252(key)) == tavirex::Utf8FromCp1252(value),
      "through UTF-8");

  if (!IsUtf16(file)) {
    // Any run of CR and LF ends a line.
    FUZZ_CHECK(ProfileLookup(tavirex::Replace(file, "\r\n", "\n"), section, key) == value,
               "CRLF as LF");
    FUZZ_CHECK(ProfileLookup(tavirex::Replace(file, "\n", "\r"), section, key) == value,
               "LF as CR");
    // A later section never changes what an earlier one or a missing one gives.
    std::string other =
        "\x7f"
        "other";
    if (!tavirex::EqualsIgnoreCaseAnsi(section, other)) {
      FUZZ_CHECK(
          ProfileLookup(file + "\r\n[" + other + "]\r\n" + key + "=x\r\n", section, key) == value,
          "appended section");
    }
  }
  return 0;
}
