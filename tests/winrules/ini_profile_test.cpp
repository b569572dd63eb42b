#include "winrules/ini_profile.h"

#include <gtest/gtest.h>

#include <string>

namespace tavirex {
namespace {

struct Lookup {
  const char* rule;
  std::string file;
  const char* section;
  const char* key;
  std::string expected;
};

TEST(ProfileLookupTest, FollowsTheWindowsRules) {
  const Lookup kCases[] = {
      {"CRLF", "[s]\r\nk=v\r\n", "s", "k", "v"},
      {"LF only", "[s]\nk=v\n", "s", "k", "v"},
      {"CR only", "[s]\rk=v\r", "s", "k", "v"},
      {"runs of CR/LF, no final newline", "\r\n\r\n[s]\r\r\n\nk=v", "s", "k", "v"},
      {"blanks trimmed incl. VT FF ^Z", " \t[ s ]\t\n \v k \f=\t v x \x1a\n", "s", "k", "v x"},
      {"later = belong to the value", "[s]\nk=a=b\n", "s", "k", "a=b"},
      {"empty value", "[s]\nk=\n", "s", "k", ""},
      {"key without =", "[s]\nk\n", "s", "k", ""},
      {"first duplicate key wins, even without value", "[s]\nk\nk=v\n", "s", "k", ""},
      {"first duplicate key wins", "[s]\nk=1\nk=2\n", "s", "k", "1"},
      {"only the first duplicate section", "[s]\na=1\n[t]\n[S]\nb=2\n", "s", "b", ""},
      {"section ends at the next header", "[s]\n[t]\nk=v\n", "s", "k", ""},
      {"case-insensitive names, value keeps case", "[SeC]\nKeY=VaLue\n", "sec", "kEy", "VaLue"},
      {"Windows-1252 letters fold", "[\xc4rzte]\n\xdc=1\n", "\xe4RZTE", "\xfc", "1"},
      {"names passed in are trimmed", "[s]\nk=v\n", "  s ", " k  ", "v"},
      {"double quotes removed", "[s]\nk=\" a b \"\n", "s", "k", " a b "},
      {"single quotes removed", "[s]\nk='x'\n", "s", "k", "x"},
      {"only the outer pair", "[s]\nk=''x''\n", "s", "k", "'x'"},
      {"mismatched quotes stay", "[s]\nk=\"x'\n", "s", "k", "\"x'"},
      {"a lone quote stays", "[s]\nk=\"\n", "s", "k", "\""},
      {"\"\" is empty", "[s]\nk=\"\"\n", "s", "k", ""},
      {"quotes stay in key names", "[s]\n\"k\"=v\n", "s", "\"k\"", "v"},
      {"; comment line", "[s]\n  ;k=v\n", "s", "k", ""},
      {"no inline comments", "[s]\nk=v ;x\n", "s", "k", "v ;x"},
      {"# is not a comment", "[s]\n#k=v\n", "s", "#k", "v"},
      {"lines before the first section ignored", "k=v\n[s]\n", "s", "k", ""},
      {"text after ] ignored", "[s] junk\nk=v\n", "s", "k", "v"},
      {"name ends at the first ]", "[a]b]\nk=v\n", "a", "k", "v"},
      {"[ without ] names a section", "[ s \nk=v\n", "s", "k", "v"},
      {"missing section", "[s]\nk=v\n", "t", "k", ""},
      {"UTF-8 BOM hides the first header", "\xef\xbb\xbf[s]\nk=v\n[t]\nk=w\n", "s", "k", ""},
      {"UTF-8 BOM, later sections read", "\xef\xbb\xbf[s]\nk=v\n[t]\nk=w\n", "t", "k", "w"},
      {"empty file", "", "s", "k", ""},
  };
  for (const Lookup& c : kCases) {
    EXPECT_EQ(ProfileLookup(c.file, c.section, c.key), c.expected) << c.rule;
  }
}

TEST(ProfileLookupTest, BufferKeepsSizeMinusOneCharacters) {
  const std::string file = "[s]\nk=" + std::string(300, 'x') + "\nq=\"abcdef\"\n";
  EXPECT_EQ(ProfileLookup(file, "s", "k"), std::string(254, 'x'));
  EXPECT_EQ(ProfileLookup(file, "s", "q", 4), "abc");  // quotes go before the cut
  EXPECT_EQ(ProfileLookup(file, "s", "q", 1), "");
  EXPECT_EQ(ProfileLookup(file, "s", "q", 0), "");
}

TEST(ProfileLookupTest, DecodesUtf16ToTheAnsiCodePage) {
  // "[s]\r\nk=Grüße €\r\n" in UTF-16LE with BOM, then big-endian.
  const std::u16string text = u"[s]\r\nk=Gr\u00fc\u00dfe \u20ac \u4e2d\r\n";
  std::string little = "\xff\xfe", big = "\xfe\xff";
  for (char16_t unit : text) {
    little += static_cast<char>(unit & 0xff);
    little += static_cast<char>(unit >> 8);
    big += static_cast<char>(unit >> 8);
    big += static_cast<char>(unit & 0xff);
  }
  EXPECT_EQ(ProfileLookup(little, "s", "k"),
            "Gr\xfc\xdf"
            "e \x80 ?");
  EXPECT_EQ(ProfileLookup(big, "s", "k"),
            "Gr\xfc\xdf"
            "e \x80 ?");
}

}  // namespace
}  // namespace tavirex
