
#include <gtest/gtest.h>

#include <string>

#include "winrules/ansi_text.h"
#include "winrules/utf8.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"
#include "winrules/vb_number.h"

namespace tavirex {
namespace {

template <typename Conversion>
int ErrorOf(Conversion conversion) {
  try {
    conversion();
  } catch (const VbError& e) {
    return e.number();
  }
  return 0;
}

VbDate Civil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return FromCivil({year, month, day, hour, minute, second});
}

TEST(UsNumbersTest, CIntAndCLngParseAndRoundHalfToEven) {
  struct Case {
    const char* text;
    long value;
  };
  const Case kCases[] = {
      {"0", 0},          {" 12 ", 12},  {"\t-32768\n", -32768},
      {"32767", 32767},  {"1.5", 2},    {"2.5", 2},
      {"-1.5", -2},      {"0.5", 0},    {"-0.5", 0},
      {"0.6", 1},        {"0.06", 0},   {"2.500001", 3},
      {"1,234", 1234},   {"1,", 1},     {"1e3", 1000},
      {"1.5E1", 15},     {"250e-2", 2}, {"&HFFFF", -1},
      {"&h7fff", 32767}, {"&O17", 15},  {"(5)", -5},
      {"5-", -5},        {"+5", 5},     {"$12.50", 12},
      {".5", 0},         {"007", 7},    {"-0", 0},
      {"&H0", 0},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(UsCIntFromString(c.text), c.value) << c.text;
    EXPECT_EQ(UsCLngFromString(c.text), c.text == std::string("&HFFFF") ? 65535 : c.value)
        << c.text;
  }
  EXPECT_EQ(UsCLngFromString("2147483647"), 2147483647);
  EXPECT_EQ(UsCLngFromString("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(UsCLngFromString("&HFFFFFFFF"), -1);
  EXPECT_EQ(UsCLngFromString("1e9"), 1000000000);
}

TEST(UsNumbersTest, TypeMismatchAndOverflowNumbers) {
  for (const char* text : {"", " ", "abc", "1 2", ",1", "1e", "1e+", "&H", "(5", "&O8", "1.2.3",
                           "12abc", "$1e3", "&H1,0"}) {
    EXPECT_EQ(ErrorOf([&] { UsCIntFromString(text); }), vberr::kTypeMismatch) << text;
    EXPECT_EQ(ErrorOf([&] { UsCLngFromString(text); }), vberr::kTypeMismatch) << text;
  }
  for (const char* text : {"32768", "-32769", "32767.5", "&H10000", "1e10"}) {
    EXPECT_EQ(ErrorOf([&] { UsCIntFromString(text); }), vberr::kOverflow) << text;
  }
  for (const char* text : {"2147483648", "-2147483649", "&H100000000", "1e400", "99999999999"}) {
    EXPECT_EQ(ErrorOf([&] { UsCLngFromString(text); }), vberr::kOverflow) << text;
  }
}

TEST(UsNumbersTest, ValReadsTheLeadingNumberAndNeverFails) {
  EXPECT_EQ(Val(" 2 45 7"), 2457);
  EXPECT_EQ(Val("24 and 57"), 24);
  EXPECT_EQ(Val("&HFFFF"), -1);
  EXPECT_EQ(Val("&H10000"), 65536);
  EXPECT_EQ(Val("&O17"), 15);
  EXPECT_EQ(Val("-1.5"), -1.5);
  EXPECT_EQ(Val(".5x"), 0.5);
  EXPECT_EQ(Val("12,5"), 12);
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val("4711_1042"), 4711);
}

TEST(UsDatesTest, ParsesTheCommonForms) {
  constexpr int kYear = 2026;
  struct Case {
    const char* text;
    VbDate value;
  };
  const Case kCases[] = {
      {"1/2/1970", 25570},
      {"1-2-1970", 25570},
      {"2 Jan 1970", 25570},
      {"2-jan-1970", 25570},
      {"2/Jan/1970", 25570},
      {"2 January, 1970", 25570},
      {"Friday, January 2, 1970", 25570},
      {"1/2/70", 25570},
      {"13-1-1970", 25581},  // no 13th month: day and month swap
      {"1970-1-13", 25581},
      {"2013-05-14 02:04:12", 41408.08625},
      {"6/30/2011 01:20:34", 40724.05594907407},
      {"6/30/2011 01:20:34 PM", 40724.55594907407},
      {"12/5/2026 4:12:40 PM", Civil(2026, 12, 5, 16, 12, 40)},
      {"4:12:40 PM", Civil(1899, 12, 30, 16, 12, 40)},
      {"2.5", 0.08680555555555555},  // a time: 2:05
      {"1 am", 1.0 / 24},
      {"12:59 AM", 0.04097222222222222},
      {"00:00 p", 0.5},
      {"13:00 AM", 0.5416666666666666},
      {"1 2 49", 54425},  // two-digit years: 1950..2049
      {"1 2 50", 18265},
      {"1 2", Civil(kYear, 1, 2)},
      {"14 1", Civil(kYear, 1, 14)},
      {"30 2", 47515},  // neither day/month: month and year
      {"Jan 35", 49310},
      {"1 2 3 4.5", 37623.17013888889},
  };
  for (const Case& c : kCases) {
    std::optional<VbDate> parsed = UsParseDate(c.text, kYear);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_NEAR(*parsed, c.value, 1e-9) << c.text;
  }
  EXPECT_TRUE(UsParseDate("1 2").has_value());  // the current year
}

TEST(UsDatesTest, RejectsWhatIsNotADate) {
  for (const char* text : {"",           "0.0",       "20160531",
                           "True",       "0.",        ".0",
                           "-1.1",       "1.1-",      "0",
                           "1",          "0.60",      "24.00",
                           "0:60",       "1 2 am",    "1 am 2",
                           "1.2.3.4",    "1 2 3 4 5", "2/30/2011",
                           "32 49",      "1/2/10000", "2013-05-14 02:04:12.017000000",
                           "02.01.1970", "1;2;3",     "Marc 5",
                           "1,"}) {
    EXPECT_FALSE(UsParseDate(text, 2026).has_value()) << text;
  }
}

TEST(UsDatesTest, FormatsAsVarBstrFromDate) {
  const VbDate moment = Civil(2026, 12, 5, 16, 12, 40);
  EXPECT_EQ(UsFormatGeneralDate(moment), "12/5/2026 4:12:40 PM");
  EXPECT_EQ(UsFormatShortDate(moment), "12/5/2026");
  EXPECT_EQ(UsFormatLongTime(moment), "4:12:40 PM");
  EXPECT_EQ(UsFormatGeneralDate(Civil(2026, 12, 5)), "12/5/2026");
  EXPECT_EQ(UsFormatGeneralDate(0.0), "12:00:00 AM");
  EXPECT_EQ(UsFormatGeneralDate(0.5), "12:00:00 PM");
  EXPECT_EQ(UsFormatGeneralDate(1.0), "12/31/1899");
  EXPECT_EQ(UsFormatGeneralDate(-1.5), "12/29/1899 12:00:00 PM");
  EXPECT_EQ(UsFormatGeneralDate(25570.25), "1/2/1970 6:00:00 AM");
  EXPECT_EQ(UsFormatLongTime(Civil(2026, 1, 1, 0, 5, 9)), "12:05:09 AM");
  for (VbDate date : {moment, Civil(1999, 2, 28, 23, 59, 59), 25570.0, 0.75}) {
    EXPECT_NEAR(UsParseDate(UsFormatGeneralDate(date), 2026).value_or(-1), date, 1e-9);
  }
}

// The plug-in's text against VB's strings: lengths and cuts in UTF-16 units,
// every BSTR back unchanged, the code page of the A functions.
TEST(VbStringsTest, Utf16UnitsAndTheCodePage) {
  struct Case {
    std::string text;
    std::size_t units;
    std::size_t cut_after_two;  // bytes of Left(text, 2)
  };
  const Case kCases[] = {
      {"ab-c", 4, 2},
      {"Zoë's Ω", 7, 2},
      {"ł東京", 3, 5},
      {"a😀", 3, 1},                         // the pair goes whole to the right
      {"\xed\xb0\x80\xed\xa0\x80x", 3, 6},  // lone surrogates, as a BSTR may hold them
      {"\xff\xfe", 2, 2},                   // stray bytes count one each
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Utf16Length(c.text), c.units) << c.text;
    EXPECT_EQ(Utf16CutPoint(c.text, 2), c.cut_after_two) << c.text;
    const std::u16string units = Utf16FromUtf8<char16_t>(c.text);
    EXPECT_EQ(units.size(), c.units) << c.text;
    if (c.text[0] != '\xff') {
      EXPECT_EQ(Utf8FromUtf16(units.data(), units.size()), c.text);
    }
  }
  EXPECT_EQ(Utf16FromUtf8<char16_t>("\xff"), u"\ufffd");

  EXPECT_EQ(Cp1252FromUtf8("Zoë's Ω €😀"), "Zo\xeb's ? \x80?");
  EXPECT_EQ(Utf8FromCp1252("Zo\xeb \x80\x81"), "Zoë €\u0081");
  EXPECT_TRUE(EqualsIgnoreCase("ŁÓDŹ ÆØÅ ΣΊΣΥΦΟΣ Ÿ", "łódź æøå σίσυφος ÿ"));
  EXPECT_FALSE(EqualsIgnoreCase("\xc4", "\xe4"));
}

}  // namespace
}  // namespace tavirex
