// The DOS wildcard match. Input: the pattern, a line feed, then the name.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "winrules/ansi_text.h"

namespace {

using tavirex::WildcardMatch;

std::string UpperAll(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = tavirex::UpperAnsi(c);
  return upper;
}

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != text.npos; }

// The match written down the other way round: the pattern rewritten with the
// DOS characters ('<' star before the last dot, '>' question mark, '"' dot),
// then matched by memoised recursion over (pattern position, name position).
class ReferenceMatch {
 public:
  ReferenceMatch(std::string_view pattern, std::string_view name)
      : name_(UpperAll(name)), last_dot_(name.rfind('.')) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
      const bool at_end = i + 1 == pattern.size();
      if (pattern[i] == '?') {
        rewritten_ += kQm;
      } else if (pattern[i] == '*') {
        rewritten_ += next == '.' ? kDosStar : kStar;
      } else if (pattern[i] == '.' && (next == '*' || next == '?' || at_end)) {
        rewritten_ += kDosDot;
      } else {
        rewritten_ += tavirex::UpperAnsi(pattern[i]);
      }
    }
    memo_.assign((rewritten_.size() + 1) * (name_.size() + 1), kUnknown);
  }

  bool Matches() { return At(0, 0); }

 private:
  // Stand-ins outside the characters a pattern line can hold.
  static constexpr char kStar = '\x01', kDosStar = '\x02', kQm = '\x03', kDosDot = '\x04';
  static constexpr char kUnknown = 2;

  bool At(std::size_t i, std::size_t j) {
    char& memo = memo_[i * (name_.size() + 1) + j];
    if (memo == kUnknown) memo = Compute(i, j);
    return memo != 0;
  }
  bool Compute(std::size_t i, std::size_t j) {
    const std::size_t n = name_.size();
    if (i == rewritten_.size()) return j == n;
    const bool more = j < n;
    switch (rewritten_[i]) {
      case kStar:
        return At(i + 1, j) || (more && At(i, j + 1));
      case kDosStar:
        return At(i + 1, j) || (more && (last_dot_ == name_.npos || j < last_dot_) && At(i, j + 1));
      case kQm:
        return (more && name_[j] != '.' && At(i + 1, j + 1)) ||
               ((!more || name_[j] == '.') && At(i + 1, j));
      case kDosDot:
        return (more && name_[j] == '.' && At(i + 1, j + 1)) || (!more && At(i + 1, j));
      default:
        return more && name_[j] == rewritten_[i] && At(i + 1, j + 1);
    }
  }

  std::string rewritten_;
  std::string name_;
  std::size_t last_dot_;
  std::vector<char> memo_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = tavirex::fuzz::AsText(data, size);
  const std::string_view pattern = tavirex::fuzz::TakeLine(input);
  const std::string_view name = input;

  const bool match = WildcardMatch(pattern, name);
  FUZZ_CHECK(WildcardMatch(UpperAll(pattern), name) == match, "upper-case pattern");
  FUZZ_CHECK(WildcardMatch(pattern, UpperAll(name)) == match, "upper-case name");

  if (pattern != "*" && pattern != "*.*" && pattern.size() * name.size() < 200000 &&
      pattern.find_first_of("\x01\x02\x03\x04") == pattern.npos) {
    FUZZ_CHECK(ReferenceMatch(pattern, name).Matches() == match, "the reference says %d", !match);
  }
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
