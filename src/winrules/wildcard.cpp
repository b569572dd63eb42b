#include "winrules/wildcard.h"

#include <algorithm>

#include "winrules/utf8.h"

namespace tavirex {
namespace {

constexpr char32_t kStrayByteUnits = 0x110000;

char UpperAsciiByte(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }

}  // namespace

void AppendMatchUnits(std::u32string& units, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = DecodeUtf8(text, i);
    if (c.code_point == kNotUtf8) {
      units.push_back(kStrayByteUnits + static_cast<unsigned char>(text[i]));
    } else if (c.code_point >= 0x10000) {
      units.push_back(0xD800 + ((c.code_point - 0x10000) >> 10));
      units.push_back(0xDC00 + ((c.code_point - 0x10000) & 0x3FF));
    } else {
      units.push_back(UpperCaseOf(c.code_point));
    }
    i += c.length;
  }
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  return WildcardPattern(pattern).Matches(name);
}

WildcardPattern::WildcardPattern(std::string_view pattern_text)
    : matches_all_(pattern_text == "*" || pattern_text == "*.*") {
  std::u32string pattern;
  AppendMatchUnits(pattern, pattern_text);
  tokens_.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char32_t c = pattern[i];
    char32_t next = i + 1 < pattern.size() ? pattern[i + 1] : U'\0';
    bool at_end = i + 1 == pattern.size();
    Kind kind = Kind::kLiteral;
    if (c == '?') {
      kind = Kind::kDosQm;
    } else if (c == '.' && (next == '*' || next == '?' || at_end)) {
      kind = Kind::kDosDot;
    } else if (c == '*') {
      kind = next == '.' ? Kind::kDosStar : Kind::kStar;
      // A run of stars matches what one does.
      if (!tokens_.empty() && tokens_.back().kind == Kind::kStar && kind == Kind::kStar) continue;
    }
    tokens_.push_back({kind, c});
  }
  literal_prefix_ = static_cast<std::size_t>(
      std::find_if(tokens_.begin(), tokens_.end(),
                   [](const Token& token) { return token.kind != Kind::kLiteral; }) -
      tokens_.begin());
  ascii_prefix_ = std::all_of(tokens_.begin(), tokens_.begin() + literal_prefix_,
                              [](const Token& token) { return token.upper < 0x80; });
  const std::size_t rest = tokens_.size() - literal_prefix_;
  const Token* tail = tokens_.data() + literal_prefix_;
  if (rest == 1 && tail[0].kind == Kind::kStar) {
    tail_ = Tail::kStar;
  } else if (rest == 3 && tail[0].kind == Kind::kDosStar && tail[1].kind == Kind::kDosDot &&
             tail[2].kind == Kind::kStar) {
    tail_ = Tail::kStarDotStar;
  }
  active_.assign(tokens_.size() + 1, 0);
  next_.assign(tokens_.size() + 1, 0);
}

void WildcardPattern::Close(std::u32string_view name, std::size_t i) {
  const bool at_end = i == name.size();
  for (std::size_t j = 0; j < tokens_.size(); ++j) {
    if (!active_[j]) continue;
    switch (tokens_[j].kind) {
      case Kind::kStar:
      case Kind::kDosStar:
        active_[j + 1] = 1;
        break;
      case Kind::kDosQm:
        if (at_end || name[i] == '.') active_[j + 1] = 1;
        break;
      case Kind::kDosDot:
        if (at_end) active_[j + 1] = 1;
        break;
      case Kind::kLiteral:
        break;
    }
  }
}

bool WildcardPattern::Matches(std::string_view name) {
  if (matches_all_) return true;
  if (ascii_prefix_) {
    // Literal tokens ahead of the first wildcard each take exactly one
    // character: most names of a big folder fail here, on their bytes, as
    // no other character has an ASCII letter as its upper case.
    if (name.size() < literal_prefix_) return false;
    for (std::size_t i = 0; i < literal_prefix_; ++i) {
      if (UpperAsciiByte(name[i]) != static_cast<char>(tokens_[i].upper)) return false;
    }
    if (tail_ == Tail::kStar) return true;
    if (tail_ == Tail::kStarDotStar) {
      const std::size_t last_dot = name.rfind('.');
      return last_dot == std::string_view::npos || last_dot >= literal_prefix_ ||
             name.size() == literal_prefix_;
    }
  }
  name_units_.clear();
  AppendMatchUnits(name_units_, name);
  return MatchesUnits(name_units_);
}

bool WildcardPattern::MatchesUnits(std::u32string_view name) {
  if (name.size() < literal_prefix_) return false;
  for (std::size_t i = 0; i < literal_prefix_; ++i) {
    if (name[i] != tokens_[i].upper) return false;
  }
  if (tail_ == Tail::kStar) return true;
  if (tail_ == Tail::kStarDotStar) {
    // The first '*' takes what lies before the last '.', the '.' that dot
    // or the end of the name, the last '*' the rest.
    const std::size_t last_dot = name.rfind(U'.');
    return last_dot == std::u32string_view::npos || last_dot >= literal_prefix_ ||
           name.size() == literal_prefix_;
  }

  // The set of pattern positions reachable after each prefix of the name.
  const std::size_t m = tokens_.size();
  const std::size_t last_dot = name.rfind(U'.');
  std::fill(active_.begin(), active_.end(), 0);
  active_[0] = 1;
  Close(name, 0);
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char32_t c = name[i];
    bool any = false;
    std::fill(next_.begin(), next_.end(), 0);
    for (std::size_t j = 0; j < m; ++j) {
      if (!active_[j]) continue;
      const Token& token = tokens_[j];
      switch (token.kind) {
        case Kind::kLiteral:
          if (token.upper == c) next_[j + 1] = any = 1;
          break;
        case Kind::kStar:
          next_[j] = any = 1;
          break;
        case Kind::kDosStar:
          if (last_dot == std::u32string_view::npos || i < last_dot) next_[j] = any = 1;
          break;
        case Kind::kDosQm:
          if (c != '.') next_[j + 1] = any = 1;
          break;
        case Kind::kDosDot:
          if (c == '.') next_[j + 1] = any = 1;
          break;
      }
    }
    if (!any) return false;
    active_.swap(next_);
    Close(name, i + 1);
  }
  return active_[m] != 0;
}

}  // namespace tavirex
