// The DOS wildcard match. Input: the pattern, a line feed, then the name.
#include <string>

#include "fuzz_support.h"
#include "hostenv/posix/ansi_text.h"

namespace {

using tavirex::WildcardMatch;

std::string UpperAll(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = tavirex::UpperAnsi(c);
  return upper;
}

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != text.npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = tavirex::fuzz::AsText(data, size);
  const std::string_view pattern = tavirex::fuzz::TakeLine(input);
  const std::string_view name = input;

  const bool match = WildcardMatch(pattern, name);
  FUZZ_CHECK(WildcardMatch(UpperAll(pattern), name) == match, "upper-case pattern");
  FUZZ_CHECK(WildcardMatch(pattern, UpperAll(name)) == match, "upper-case name");

  FUZZ_CHECK(WildcardMatch("*", name) && WildcardMatch("*.*", name), "every name matches *");
  if (!HasWildcard(name)) {
    FUZZ_CHECK(WildcardMatch(name, name), "a name matches itself");
  }
  if (!HasWildcard(pattern) && pattern.find('.') == pattern.npos) {
    FUZZ_CHECK(match == tavirex::EqualsIgnoreCaseAnsi(pattern, name), "literal pattern");
  }
  // What a pattern matches, the pattern followed by "*" matches too.
  if (match) {
    FUZZ_CHECK(WildcardMatch(std::string(pattern) + "*", name), "pattern + *");
  }
  return 0;
}
