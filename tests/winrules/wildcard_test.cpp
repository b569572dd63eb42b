#include "winrules/wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace tavirex {
namespace {

TEST(WildcardMatchTest, DosRules) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case kCases[] = {
      {"*", "anything.at.all", true},
      {"*.*", "noextension", true},
      {"4711_*.*", "4711_a", true},
      {"4711_*.*", "4711_a.jpg", true},
      {"4711_*.*", "4711_a.b.c", true},
      {"4711_*.*", "4711_", true},
      {"4711_*.*", "4712_a.jpg", false},
      {"4711_*.*", "x4711_a.jpg", false},
      {"4711_1042_*", "4711_1042_x_y.jpg", true},
      {"4711_1042_*", "4711_1043_x.jpg", false},
      {"*.jpg", "a.b.JPG", true},
      {"*.jpg", "x.jpga", false},  // no 8.3 short-name match
      {"*.jpg", "a.jpg.bak", false},
      {"*.", "readme", true},
      {"*.", "readme.txt", false},
      {"abc.", "abc", true},
      {"a?c", "abc", true},
      {"a?c", "a.c", false},
      {"a?c", "ac", false},
      {"file?.txt", "file.txt", true},
      {"file?.txt", "file1.txt", true},
      {"file?.txt", "file12.txt", false},
      {"??", "a", true},
      {"??", "abc", false},
      {"*a*b", "xaxxb", true},
      {"*a*b", "xaxxbx", false},
      {"PATÄ*", "patänt.jpg", true},  // UTF-8, letters beyond ASCII fold
      {"ΩΜΕΓΑ_ŁÓDŹ_*.*", "ωμεγα_łódź_1.jpg", true},
      {"东京_*", "东京_a", true},
      {"a?b", "a😀b", false},  // outside the BMP: two UTF-16 units
      {"a??b", "a😀b", true},
      {"\xe4*", "\xc4.jpg", false},  // stray bytes are themselves
      {"", "a", false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
  }
}

// One pattern over a folder's names: the shortcuts for a literal beginning
// followed by "*" or "*.*" answer as the full rules do, name after name.
TEST(WildcardMatchTest, OnePatternForManyNames) {
  const char* kPatterns[] = {"4711_*.*", "4711_*", "a.b*.*", ".A*.*", "4711_?.*", "4711_"};
  const char* kNames[] = {"4711_1042_OD.jpg", "4711_", "4711", "4711_a", "a.b",      "a.bc",
                          "a.bc.d",           ".abba", ".a",   ".ab.c",  "4711_x.j", "4712_a"};
  for (const char* pattern : kPatterns) {
    WildcardPattern compiled(pattern);
    for (const char* name : kNames) {
      EXPECT_EQ(compiled.Matches(name), WildcardMatch(pattern, name)) << pattern << " vs " << name;
    }
  }
  // The '*' of "*.*" stops before the name's last '.', which here lies in
  // the literal beginning.
  WildcardPattern dotted("a.b*.*");
  EXPECT_TRUE(dotted.Matches("a.b"));
  EXPECT_FALSE(dotted.Matches("a.bc"));
  EXPECT_TRUE(dotted.Matches("a.bc.d"));
}

TEST(WildcardMatchTest, NoExponentialBacktracking) {
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  pattern += "*b";
  EXPECT_FALSE(WildcardMatch(pattern, std::string(20000, 'a')));
}

}  // namespace
}  // namespace tavirex
