// Name matching of the Windows directory listing (FindFirstFile, VB's Dir).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavirex {

// True when `name` matches the DOS wildcard `pattern` (both UTF-8), without
// regard to case (the letters UpperCaseOf folds).
//
// The pattern is rewritten as Windows does before matching: "*.*" means "*";
// '?' matches one character other than '.', or nothing before a '.' or the end
// of the name; a '.' followed by '*' or '?' or ending the pattern matches a '.'
// or the end of the name; a '*' followed by '.' matches up to the name's last
// '.'. So "4711_*.*" matches "4711_a", "4711_a.jpg", "4711_a.b.c" and "4711_",
// and "*." matches names without an extension. Characters are UTF-16 code
// units, as Windows counts them: a character outside the BMP takes "??".
// Short 8.3 names are not matched. Runs in time proportional to pattern
// length times name length.
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
    char32_t upper;
  };

  bool MatchesUnits(std::u32string_view name);
  // Marks the positions reachable from the active ones without taking a
  // character, at position `i` of the name.
  void Close(std::u32string_view name, std::size_t i);

  bool matches_all_;
  std::vector<Token> tokens_;
  std::size_t literal_prefix_;  // tokens before the first wildcard
  bool ascii_prefix_;           // all of them ASCII: compared on the name's bytes
  // What the tokens after the literal prefix take: "*" any rest; "*.*" any
  // rest unless the name's last '.' lies in the prefix and a rest follows.
  enum class Tail : unsigned char { kOther, kStar, kStarDotStar };
  Tail tail_ = Tail::kOther;
  std::vector<unsigned char> active_;
  std::vector<unsigned char> next_;
  std::u32string name_units_;
};

// The units a name is matched in: its UTF-16 code units, each in upper case;
// a stray byte is one unit of its own, above every character.
void AppendMatchUnits(std::u32string& units, std::string_view text);

}  // namespace tavirex
