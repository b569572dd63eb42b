#include "hostenv/posix/wildcard.h"

#include <algorithm>
#include <vector>

#include "hostenv/posix/ansi_text.h"

namespace tavirex {
namespace {

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

std::vector<Token> Rewrite(std::string_view pattern) {
  std::vector<Token> tokens;
  tokens.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    bool at_end = i + 1 == pattern.size();
    Kind kind = Kind::kLiteral;
    if (c == '?') {
      kind = Kind::kDosQm;
    } else if (c == '.' && (next == '*' || next == '?' || at_end)) {
      kind = Kind::kDosDot;
    } else if (c == '*') {
      kind = next == '.' ? Kind::kDosStar : Kind::kStar;
      // A run of stars matches what one does.
      if (!tokens.empty() && tokens.back().kind == Kind::kStar && kind == Kind::kStar) continue;
    }
    tokens.push_back({kind, UpperAnsi(c)});
  }
  return tokens;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  const std::vector<Token> tokens = Rewrite(pattern);
  const std::size_t m = tokens.size();
  const std::size_t last_dot = name.rfind('.');

  // The set of pattern positions reachable after each prefix of the name.
  std::vector<unsigned char> active(m + 1, 0);
  std::vector<unsigned char> next(m + 1, 0);
  auto close = [&](std::size_t i) {
    const bool at_end = i == name.size();
    for (std::size_t j = 0; j < m; ++j) {
      if (!active[j]) continue;
      switch (tokens[j].kind) {
        case Kind::kStar:
        case Kind::kDosStar:
          active[j + 1] = 1;
          break;
        case Kind::kDosQm:
          if (at_end || name[i] == '.') active[j + 1] = 1;
          break;
        case Kind::kDosDot:
          if (at_end) active[j + 1] = 1;
          break;
        case Kind::kLiteral:
          break;
      }
    }
  };

  active[0] = 1;
  close(0);
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const char upper = UpperAnsi(c);
    bool any = false;
    std::fill(next.begin(), next.end(), 0);
    for (std::size_t j = 0; j < m; ++j) {
      if (!active[j]) continue;
      const Token& token = tokens[j];
      switch (token.kind) {
        case Kind::kLiteral:
          if (token.upper == upper) next[j + 1] = any = 1;
          break;
        case Kind::kStar:
          next[j] = any = 1;
          break;
        case Kind::kDosStar:
          if (last_dot == std::string_view::npos || i < last_dot) next[j] = any = 1;
          break;
        case Kind::kDosQm:
          if (c != '.') next[j + 1] = any = 1;
          break;
        case Kind::kDosDot:
          if (c == '.') next[j + 1] = any = 1;
          break;
      }
    }
    if (!any) return false;
    active.swap(next);
    close(i + 1);
  }
  return active[m] != 0;
}

}  // namespace tavirex
