// The DOS wildcard match. Input: the pattern, a line feed, then the name.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "winrules/utf8.h"

namespace {

using tavirex::UpperCase;
using tavirex::WildcardMatch;

// What the match compares: UTF-16 units in upper case.
std::u32string Units(std::string_view text) {
  std::u32string units;
  tavirex::AppendMatchUnits(units, text);
  return units;
}

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != text.npos; }

// The match written down the other way round: the pattern rewritten with the
// DOS characters ('<' star before the last dot, '>' question mark, '"' dot),
// then matched by memoised recursion over (pattern position, name position).
class ReferenceMatch {
 public:
  ReferenceMatch(std::string_view pattern_text, std::string_view name)
      : name_(Units(name)), last_dot_(name_.rfind(U'.')) {
    const std::u32string pattern = Units(pattern_text);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      const char32_t next = i + 1 < pattern.size() ? pattern[i + 1] : U'\0';
      const bool at_end = i + 1 == pattern.size();
      if (pattern[i] == '?') {
        rewritten_ += kQm;
      } else if (pattern[i] == '*') {
        rewritten_ += next == '.' ? kDosStar : kStar;
      } else if (pattern[i] == '.' && (next == '*' || next == '?' || at_end)) {
        rewritten_ += kDosDot;
      } else {
        rewritten_ += pattern[i];
      }
    }
    memo_.assign((rewritten_.size() + 1) * (name_.size() + 1), kUnknown);
  }

  bool Matches() { return At(0, 0); }

 private:
  // Stand-ins beyond every unit a pattern can hold.
  static constexpr char32_t kStar = 0x200001, kDosStar = 0x200002, kQm = 0x200003,
                            kDosDot = 0x200004;
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

  std::u32string rewritten_;
  std::u32string name_;
  std::size_t last_dot_;
  std::vector<char> memo_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = tavirex::fuzz::AsText(data, size);
  const std::string_view pattern = tavirex::fuzz::TakeLine(input);
  const std::string_view name = input;

  const bool match = WildcardMatch(pattern, name);
  FUZZ_CHECK(WildcardMatch(UpperCase(pattern), name) == match, "upper-case pattern");
  FUZZ_CHECK(WildcardMatch(pattern, UpperCase(name)) == match, "upper-case name");

  if (pattern != "*" && pattern != "*.*" && pattern.size() * name.size() < 200000) {
    FUZZ_CHECK(ReferenceMatch(pattern, name).Matches() == match, "the reference says %d", !match);
  }
  FUZZ_CHECK(WildcardMatch("*", name) && WildcardMatch("*.*", name), "every name matches *");
  if (!HasWildcard(name)) {
    FUZZ_CHECK(WildcardMatch(name, name), "a name matches itself");
  }
  if (!HasWildcard(pattern) && pattern.find('.') == pattern.npos) {
    FUZZ_CHECK(match == (Units(pattern) == Units(name)), "literal pattern");
  }
  // What a pattern matches, the pattern followed by "*" matches too.
  if (match) {
    FUZZ_CHECK(WildcardMatch(std::string(pattern) + "*", name), "pattern + *");
  }
  return 0;
}
