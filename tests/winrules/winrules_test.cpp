// The portable reproductions of the Windows rules on the shared input rows,
// and the rules of the VB runtime that have no Windows call to compare with.
#include <gtest/gtest.h>

#include "rule_inputs.h"
#include "winrules/command_line.h"
#include "winrules/ini_profile.h"
#include "winrules/utf8.h"
#include "winrules/vb_date.h"
#include "winrules/vb_number.h"
#include "winrules/wildcard.h"

namespace tavirex {
namespace {

using namespace rule_inputs;

TEST(WindowsRules, ProfileLookup) {
  for (const ProfileRow& row : ProfileRows()) {
    EXPECT_EQ(ProfileLookup(row.file, row.section, row.key), row.value)
        << row.section << "/" << row.key << " in " << row.file;
  }
  // The buffer keeps size - 1 characters, cut after the quotes go.
  EXPECT_EQ(ProfileLookup("[s]\nq=\"abcdef\"\n", "s", "q", 4), "abc");
  EXPECT_EQ(ProfileLookup("[s]\nq=\"abcdef\"\n", "s", "q", 0), "");
  // Windows reads a UTF-8 BOM as text of the first line (Wine decodes it).
  EXPECT_EQ(ProfileLookup("\xef\xbb\xbf[s]\nk=v\n[t]\nk=w\n", "s", "k"), "");
  EXPECT_EQ(ProfileLookup("\xef\xbb\xbf[s]\nk=v\n[t]\nk=w\n", "t", "k"), "w");
}

TEST(WindowsRules, Wildcards) {
  for (const WildcardRow& row : kWildcardRows) {
    EXPECT_EQ(WildcardMatch(row.pattern, row.name), row.found) << row.pattern << " " << row.name;
    EXPECT_EQ(WildcardPattern(row.pattern).Matches(row.name), row.found) << row.pattern;
  }
  // The '*' of "*.*" stops before the name's last '.', here in the literal start.
  WildcardPattern dotted("a.b*.*");
  EXPECT_TRUE(dotted.Matches("a.b") && !dotted.Matches("a.bc") && dotted.Matches("a.bc.d"));
}

TEST(WindowsRules, NumbersAndDates) {
  for (const NumberRow& row : kNumberRows) {
    EXPECT_EQ(NumberOf([&] { return UsCIntFromString(row.text); }), row.cint) << row.text;
    EXPECT_EQ(NumberOf([&] { return UsCLngFromString(row.text); }), row.clng) << row.text;
  }
  for (const DateRow& row : kDateRows) {
    EXPECT_EQ(SecondsOf(UsParseDate(row.text, 2026)), row.seconds) << row.text;
  }
  for (const FormatRow& row : kFormatRows) {
    EXPECT_EQ(UsFormatGeneralDate(row.date), row.general);
    EXPECT_EQ(UsFormatShortDate(row.date), row.short_date);
    EXPECT_EQ(UsFormatLongTime(row.date), row.long_time);
  }
}

TEST(WindowsRules, CommandLineSplit) {
  for (const CommandLineRow& row : kCommandLineRows) {
    EXPECT_EQ(SplitWindowsCommandLine(row.line), row.arguments) << row.line;
  }
}

// Val and CInt of a number, as the equipment count is read: Val never
// fails, halves round to even, 6 beyond 16 bits.
TEST(VbRuntime, ValAndCIntOfANumber) {
  const std::pair<const char*, double> kVal[] = {
      {"2", 2},           {" 2 45 7", 2457}, {"3.5x", 3.5}, {"12,5", 12}, {"&HFFFF", -1},
      {"&H10000", 65536}, {"&O17", 15},      {"", 0},       {"abc", 0},   {"4711_1042", 4711}};
  for (const auto& [text, value] : kVal) EXPECT_EQ(Val(text), value) << text;
  // clang-format off
  const std::pair<double, std::int64_t> kCInt[] = {
      {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {32767.49, 32767}, {32767.5, kOverflow},
      {-32768.5, -32768}, {-32768.51, kOverflow}, {65536, kOverflow}};
  // clang-format on
  for (const auto& [value, expected] : kCInt) {
    EXPECT_EQ(NumberOf([&] { return CIntFromDouble(value); }), expected) << value;
  }
  EXPECT_EQ(NumberOf([] { return CLngFromDouble(2147483647.5); }), kOverflow);
  EXPECT_EQ(NumberOf([] { return CLngFromDouble(-2147483648.5); }), -2147483648LL);
}

// Lengths and cuts in UTF-16 units, as VB counts them: each text, its
// length and the bytes of Left(text, 2). A pair outside the BMP goes whole
// to the right; lone surrogates, as a BSTR may hold them, count one each.
TEST(VbRuntime, TextInUtf16Units) {
  const std::tuple<std::string, std::size_t, std::size_t> kTexts[] = {
      {"Zoë's Ω", 7, 2}, {"ł東京", 3, 5}, {"a😀", 3, 1}, {"\xed\xb0\x80\xed\xa0\x80x", 3, 6}};
  for (const auto& [text, units, cut_after_two] : kTexts) {
    EXPECT_EQ(Utf16Length(text), units) << text;
    EXPECT_EQ(Utf16CutPoint(text, 2), cut_after_two) << text;
  }
  EXPECT_TRUE(EqualsIgnoreCase("ŁÓDŹ ÆØÅ ΣΊΣΥΦΟΣ Ÿ", "łódź æøå σίσυφος ÿ"));
}

}  // namespace
}  // namespace tavirex
