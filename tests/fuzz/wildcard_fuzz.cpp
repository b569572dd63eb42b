// The DOS wildcard match. Input: the pattern, a line feed, then the name.
#include <string>

#include "fuzz_support.h"
#include "winrules/utf8.h"

using namespace tavirex;

// What the match compares: UTF-16 units in upper case.
static std::u32string Units(std::string_view text) {
  std::u32string units;
  AppendMatchUnits(units, text);
  return units;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view name(reinterpret_cast<const char*>(data), size);
  const std::string_view pattern = fuzz::TakeLine(name);

  const bool match = WildcardMatch(pattern, name);
  FUZZ_CHECK(WildcardPattern(pattern).Matches(name) == match, "the compiled pattern");
  FUZZ_CHECK(WildcardMatch(UpperCase(pattern), name) == match, "upper-case pattern");
  FUZZ_CHECK(WildcardMatch(pattern, UpperCase(name)) == match, "upper-case name");
  FUZZ_CHECK(WildcardMatch("*", name) && WildcardMatch("*.*", name), "every name matches *");
  if (name.find_first_of("*?") == name.npos) {
    FUZZ_CHECK(WildcardMatch(name, name), "a name matches itself");
  }
  if (pattern.find_first_of("*?.") == pattern.npos) {
    FUZZ_CHECK(match == (Units(pattern) == Units(name)), "literal pattern");
  }
  // What a pattern matches, the pattern followed by "*" matches too.
  if (match) FUZZ_CHECK(WildcardMatch(std::string(pattern) + "*", name), "pattern + *");
  return 0;
}
