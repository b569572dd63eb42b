// The inputs the plug-in hands to the Windows rules it reproduces, and their
// neighbours, with what Windows gives for each. The native suite checks the
// portable reproductions on these rows; the Windows suite puts the same rows
// to the real calls.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "winrules/vb_error.h"

namespace tavirex::rule_inputs {

using namespace std::string_view_literals;

// GetPrivateProfileStringA(section, key, "", buffer of 255 characters) on the
// file's bytes (Windows-1252); the value as the bytes copied.
struct ProfileRow {
  std::string file;
  const char* section;
  const char* key;
  std::string value;
};

inline std::vector<ProfileRow> ProfileRows() {
  const std::string equip =
      "[Equipment]\r\nNumber=2\r\n1=12:Tavirex:Review X\r\n2=13:Tavirex:Capture X\r\n"
      "WriteReceiveDataLog=Yes\r\n[12]\r\nEquipDataPath=C:\\img\r\n[M\xfcller]\r\nName=Zo\xeb "
      "\x80\r\n";
  const std::string l(300, 'L');
  // clang-format off
  return {
      {equip, "Equipment", "Number", "2"},       {equip, "equipment", "1", "12:Tavirex:Review X"},
      {equip, "  EQUIPMENT ", " writereceivedatalog ", "Yes"},
      {equip, "12", "EquipDataPath", "C:\\img"}, {equip, "13", "EquipDataPath", ""},
      {equip, "Equipment", "3", ""},             {equip, "M\xfcller", "Name", "Zo\xeb \x80"},
      {"[S]\r\nk=first\r\nk=second\r\n", "S", "k", "first"}, {"[S]\r\nk\r\nk=v\r\n", "S", "k", ""},
      {"[S]\r\na=1\r\n[T]\r\n[S]\r\nk=v\r\n", "S", "k", ""},
      {"[S]\r\nk=v\r\n[S]\r\nk=w\r\n", "S", "k", "v"},
      {"[S]\r\nk=" + l.substr(0, 254) + "\r\n", "S", "k", l.substr(0, 254)},
      {"[S]\r\nk=" + l.substr(0, 255) + "\r\n", "S", "k", l.substr(0, 254)},
      {"[S]\r\nk=\"" + l + "\"\r\n", "S", "k", l.substr(0, 254)},
      {"[S]\nk=v\n", "S", "k", "v"},             {"[S]\rk=v\rz=w", "S", "z", "w"},
      {"[S]\r\r\nk=v\r\r\n", "S", "k", "v"},     {"[S]\r\nk=v\r\n", "T", "k", ""},
      {"  [ S ]  \r\n \t k \t = \t v w \t \r\n", "S", "k", "v w"},
      {"[A B] x\r\nk=\x0bv\x0c\x1a", "A B", "k", "v"},
      {"[S]\r\nk=\" q v \"\r\n", "S", "k", " q v "}, {"[S]\r\nk='q'\r\n", "S", "k", "q"},
      {"[S]\r\nk=\"q'\r\n", "S", "k", "\"q'"},   {"[S]\r\nk=\"\r\n", "S", "k", "\""},
      {"[S]\r\nk=\"\"\r\n", "S", "k", ""},        {"[S]\r\nk=''x''\r\n", "S", "k", "'x'"},
      {"[S]\r\n\"k\"=v\r\n", "S", "k", ""},       {"[S]\r\n#k=a=b\r\n", "S", "#k", "a=b"},
      {"[S]\r\n  ;k=c\r\nk=v ;x\r\n", "S", "k", "v ;x"},
      {"k=v\r\n[S]\r\nj=w\r\n", "S", "k", ""},
      // UTF-16 with its BOM, read in the code page: '?' for what it lacks.
      {std::string("\xff\xfe[\0S\0]\0\r\0\n\0k\0=\0\xe9\0\xac\x20\0\x4e\r\0\n\0"sv), "S", "k",
       "\xe9\x80?"}};
  // clang-format on
}

// Whether FindFirstFile (VB's Dir) finds `name` for `pattern`.
struct WildcardRow {
  const char* pattern;
  const char* name;
  bool found;
};

// clang-format off
inline const WildcardRow kWildcardRows[] = {
    {"4711_*.*", "4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg", true},
    {"4711_*.*", "4711_a", true},         {"4711_*.*", "4711_", true},
    {"4711_*.*", "4711_a.b.c", true},     {"4711_*.*", "X4711_a.jpg", false},
    {"4711_*.*", "47110_a.jpg", false},   {"4711_*.*", "4711.jpg", false},
    {"4711_*", "4711_a.b.c", true},       {"ΩΜΈΓΑ_*.*", "Ωμέγα_1.jpg", true},
    {"ÄBC*", "äbc.jpg", true},            {"*", "readme", true},
    {"*.*", "readme", true},              {"*.jpg", "UPPER.JPG", true},
    {"*.jpg", "4711_a.b.c", false},       {"*.b*", "4711_a.b.c", true},
    {"a*b", "a😀b", true},                 {"a.?", "a.b", true},
    {"?b", "ab", true},                   {"??", "ab", true},
    {"??", "a.b", false},                 {"*.tx?", "abc.txt", true}};
// clang-format on

// CInt and CLng of a text (VarI2FromStr, VarI4FromStr under US settings).
inline constexpr std::int64_t kOverflow = -1'000'006;
inline constexpr std::int64_t kMismatch = -1'000'013;
template <typename Convert>
std::int64_t NumberOf(Convert convert) {
  try {
    return convert();
  } catch (const VbError& failure) {
    return -1'000'000 - failure.number();
  }
}
struct NumberRow {
  std::string_view text;
  std::int64_t cint;
  std::int64_t clng;
};

// clang-format off
inline const NumberRow kNumberRows[] = {
    {"12", 12, 12},            {" 12 ", 12, 12},             {"\t7\t", 7, 7},
    {"012", 12, 12},           {"+5", 5, 5},                 {"5-", -5, -5},
    {"(5)", -5, -5},           {"2.5", 2, 2},                {"3.5", 4, 4},
    {"-2.5", -2, -2},          {"0.5", 0, 0},                {"1.5", 2, 2},
    {".5", 0, 0},              {"5.", 5, 5},                 {"1e3", 1000, 1000},
    {"32767", 32767, 32767},   {"32768", kOverflow, 32768},  {"-32768", -32768, -32768},
    {"-32769", kOverflow, -32769},      {"32767.5", kOverflow, 32768},
    {"-32768.5", -32768, -32768},       {"1e5", kOverflow, 100000},
    {"1,000", 1000, 1000},     {"$5", 5, 5},                 {"&HFFFF", -1, 65535},
    {"&O77", 63, 63},          {"&H8000", -32768, 32768},    {"&HFFFFFFFF", kOverflow, -1},
    {"2147483647", kOverflow, 2147483647},  {"2147483648", kOverflow, kOverflow},
    {"-2147483648", kOverflow, -2147483648LL},
    {"", kMismatch, kMismatch},       {" ", kMismatch, kMismatch},  {"abc", kMismatch, kMismatch},
    {"12abc", kMismatch, kMismatch},  {"1.2.3", kMismatch, kMismatch},
    {"1 000", kMismatch, kMismatch},  {",1", kMismatch, kMismatch},    {"&H", kMismatch, kMismatch},
    {"1e", kMismatch, kMismatch},
    {"4\0002"sv, 4, 4}};  // a BSTR ends at its first NUL for the parse
// clang-format on

// CDate of a text (VarDateFromStr), in whole seconds since 12/30/1899; those
// without a value are no date.
inline constexpr std::int64_t kNoDate = INT64_MIN;
template <typename Date>
std::int64_t SecondsOf(const Date& date) {
  return date ? static_cast<std::int64_t>(std::llround(*date * 86400.0)) : kNoDate;
}
struct DateRow {
  const char* text;
  std::int64_t seconds;
};

constexpr std::int64_t kDay = 86400;
// clang-format off
inline const DateRow kDateRows[] = {
    {"2016-05-31", 42521 * kDay},   {"5/31/2016", 42521 * kDay},   {"  12/5/2026  ", 46361 * kDay},
    {"2016-5-1", 42491 * kDay},     {"2016-02-29", 42429 * kDay},  {"2016-02-30", kNoDate},
    {"2016-13-01", 42382 * kDay},   {"31-05-2016", 42521 * kDay},  {"13-1-1970", 25581 * kDay},
    {"2 Jan 1970", 25570 * kDay},   {"Thursday, June 30, 2011", 40724 * kDay},
    {"12/5/2026 4:12:40 PM", 46361 * kDay + 58360},  {"2026-12-05 16:12:40", 46361 * kDay + 58360},
    {"4:12 pm", 58320},             {"2.5", 7500},                 {"1/1/49", 54424 * kDay},
    {"1/1/50", 18264 * kDay},       {"20160531", kNoDate},         {"1/1/10000", kNoDate},
    {"24:00", kNoDate},             {"", kNoDate},                 {"x", kNoDate}};
// clang-format on

// CStr of a date (VarBstrFromDate), its short date and its long time.
struct FormatRow {
  double date;
  const char* general;
  const char* short_date;
  const char* long_time;
};

inline const FormatRow kFormatRows[] = {
    {46361.675462962965, "12/5/2026 4:12:40 PM", "12/5/2026", "4:12:40 PM"},
    {46361.0, "12/5/2026", "12/5/2026", "12:00:00 AM"},
    {0.675462962962963, "4:12:40 PM", "12/30/1899", "4:12:40 PM"},
    {0.5, "12:00:00 PM", "12/30/1899", "12:00:00 PM"},
    {36525.99998842592, "12/31/1999 11:59:59 PM", "12/31/1999", "11:59:59 PM"},
    {-1.75, "12/29/1899 6:00:00 PM", "12/29/1899", "6:00:00 PM"},
    {-36522.0, "1/1/1800", "1/1/1800", "12:00:00 AM"},
};

// The arguments the C runtime of a started program splits from a command line.
struct CommandLineRow {
  const char* line;
  std::vector<std::string> arguments;
};

// clang-format off
inline const CommandLineRow kCommandLineRows[] = {
    {R"("4711" "Doe, John" "Anna Maria" "" M 1/2/1970 "n/a" 12/5/2026 1)",
     {"4711", "Doe, John", "Anna Maria", "", "M", "1/2/1970", "n/a", "12/5/2026", "1"}},
    {"\"M\xfcller\" \"O'Neil\"", {"M\xfcller", "O'Neil"}},  {"", {}},
    {"  a \t b  ", {"a", "b"}},                             {"a\"b c\"d", {"ab cd"}},
    {R"("C:\Program Files\x\" y)", {R"(C:\Program Files\x" y)"}},
    {R"("C:\dir\\" x)", {R"(C:\dir\)", "x"}},                {R"(a\\b)", {R"(a\\b)"}},
    {R"(a\"b)", {R"(a"b)"}},                                 {R"(a\\"b c")", {R"(a\b c)"}},
    {R"(a\\\"b)", {R"(a\"b)"}},                              {R"("a""b")", {R"(a"b)"}},
    {R"("a"" b")", {R"(a" b)"}},                             {R"("""a b""")", {R"("a b")"}},
    {"\"unterminated x", {"unterminated x"}},                {"a\"", {"a"}}};
// clang-format on

}  // namespace tavirex::rule_inputs
