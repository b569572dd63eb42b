// Name matching of the Windows directory listing (FindFirstFileA, VB's Dir).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace tavirex {

// True when `name` matches the DOS wildcard `pattern`, without regard to case
// (ASCII and Windows-1252 letters).
//
// The pattern is rewritten as Windows does before matching: "*.*" means "*";
// '?' matches one character other than '.', or nothing before a '.' or the end
// of the name; a '.' followed by '*' or '?' or ending the pattern matches a '.'
// or the end of the name; a '*' followed by '.' matches up to the name's last
// '.'. So "4711_*.*" matches "4711_a", "4711_a.jpg", "4711_a.b.c" and "4711_",
// and "*." matches names without an extension. Short 8.3 names are not
// matched. Runs in time proportional to pattern length times name length.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// One pattern, rewritten once, for matching many names (a folder listing):
// the same answers as WildcardMatch, without allocating per name. A name
// that differs from the pattern's literal beginning is refused at once, and
// a pattern such as "4711_*.*" is only that beginning.
class WildcardPattern {
 public:
  explicit WildcardPattern(std::string_view pattern);
  bool Matches(std::string_view name);

 private:
  enum class Kind : unsigned char {
    kLiteral,
    kStar,     // any characters
    kDosStar,  // any characters before the name's last '.'
    kDosQm,    // one character other than '.', or nothing before '.' or the end
    kDosDot,   // a '.', or nothing at the end of the name
  };
  struct Token {
    Kind kind;
    char upper;
  };

  // Marks the positions reachable from the active ones without taking a
  // character, at position `i` of the name.
  void Close(std::string_view name, std::size_t i);

  bool matches_all_;
  std::vector<Token> tokens_;
  std::size_t literal_prefix_;  // tokens before the first wildcard
  // What the tokens after the literal prefix take: "*" any rest; "*.*" any
  // rest unless the name's last '.' lies in the prefix and a rest follows.
  enum class Tail : unsigned char { kOther, kStar, kStarDotStar };
  Tail tail_ = Tail::kOther;
  std::vector<unsigned char> active_;
  std::vector<unsigned char> next_;
};

}  // namespace tavirex
