// The portable reproductions of the Windows rules compared with the Windows
// APIs themselves on the same inputs. Under wine64 the APIs are Wine's, which
// differ from Windows in a few known places; those rows are marked and skipped
// there.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hostenv/win32/text.h"
#include "hostenv/win32/win32_platform.h"
#include "temp_folder.h"
#include "winrules/command_line.h"
#include "winrules/ini_profile.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"
#include "winrules/vb_number.h"
#include "winrules/wildcard.h"

namespace tavirex {
namespace {

using testing::RunningUnderWine;
using testing::TempFolder;

// Where Wine is known not to do what Windows does.
enum class Wine { kSame, kDiffers };

struct IniCase {
  const char* what;
  std::string bytes;
  const char* section;
  const char* key;
  Wine wine = Wine::kSame;
};

TEST(ProfileComparison, ProfileLookupReadsFilesAsGetPrivateProfileStringA) {
  const std::string long_value(300, 'L');
  const std::string utf16_le("\xff\xfe[\0S\0]\0\r\0\n\0k\0=\0\xe9\0t\0\xe9\0\r\0\n\0", 22);
  const std::vector<IniCase> cases = {
      {"plain", "[S]\r\nk=v\r\n", "S", "k"},
      {"names ignore case", "[Sect]\r\nKey=Value\r\n", "sECT", "kEY"},
      // Wine folds only ASCII letters in names. Whether Windows folds the
      // accented ones, as the reproduction does, is not confirmed.
      {"accented names ignore case", "[M\xfcller]\r\nSch\xe4rfe=1\r\n", "M\xdcLLER", "SCH\xc4RFE",
       Wine::kDiffers},
      {"LF only", "[S]\nk=v\n", "S", "k"},
      {"CR only", "[S]\rk=v\rz=w", "S", "z"},
      {"CR CR LF", "[S]\r\r\nk=v\r\r\n", "S", "k"},
      {"no final line end", "[S]\r\nk=v", "S", "k"},
      {"blanks around everything", "  [ S ]  \r\n \t k \t = \t v w \t \r\n", "S", "k"},
      {"blanks in the names passed", "[S]\r\nk=v\r\n", "  S  ", "  k  "},
      {"blank inside section name", "[A B]\r\nk=v\r\n", "A B", "k"},
      {"vertical tab and form feed trimmed", "[S]\r\nk=\x0bv\x0c\r\n", "S", "k"},
      {"ctrl-Z trimmed", "[S]\r\nk=v\x1a", "S", "k"},
      {"double quotes", "[S]\r\nk=\" q v \"\r\n", "S", "k"},
      {"single quotes", "[S]\r\nk='q'\r\n", "S", "k"},
      {"mismatched quotes stay", "[S]\r\nk=\"q'\r\n", "S", "k"},
      {"opening quote only", "[S]\r\nk=\"q\r\n", "S", "k"},
      {"lone quote", "[S]\r\nk=\"\r\n", "S", "k"},
      {"empty quotes", "[S]\r\nk=\"\"\r\n", "S", "k"},
      {"one pair of doubled quotes removed", "[S]\r\nk=''x''\r\n", "S", "k"},
      {"quotes in key names stay", "[S]\r\n\"k\"=v\r\n", "S", "k"},
      {"comment line", "[S]\r\n;k=c\r\nk=v\r\n", "S", "k"},
      {"indented comment line", "[S]\r\n  ;k=c\r\nk=v\r\n", "S", "k"},
      {"no inline comments", "[S]\r\nk=v ;x\r\n", "S", "k"},
      {"hash is text", "[S]\r\n#k=v\r\n", "S", "#k"},
      {"later equals signs belong to the value", "[S]\r\nk=a=b\r\n", "S", "k"},
      {"key without value", "[S]\r\nk\r\nk=v\r\n", "S", "k"},
      {"empty value", "[S]\r\nk=\r\n", "S", "k"},
      {"keys before the first section", "k=v\r\n[S]\r\nj=w\r\n", "S", "k"},
      {"first duplicate key wins", "[S]\r\nk=first\r\nk=second\r\n", "S", "k"},
      {"only the first duplicate section", "[S]\r\na=1\r\n[T]\r\n[S]\r\nk=v\r\n", "S", "k"},
      {"duplicate section after a key", "[S]\r\nk=v\r\n[S]\r\nk=w\r\n", "S", "k"},
      {"missing key", "[S]\r\nk=v\r\n", "S", "j"},
      {"missing section", "[S]\r\nk=v\r\n", "T", "k"},
      {"value of 254", "[S]\r\nk=" + long_value.substr(0, 254) + "\r\n", "S", "k"},
      {"value of 255 cut", "[S]\r\nk=" + long_value.substr(0, 255) + "\r\n", "S", "k"},
      {"value of 300 cut", "[S]\r\nk=" + long_value + "\r\n", "S", "k"},
      {"quoted value of 300 cut", "[S]\r\nk=\"" + long_value + "\"\r\n", "S", "k"},
      {"UTF-16 with BOM", utf16_le, "S", "k"},
      {"text after the closing bracket", "[S] x\r\nk=v\r\n", "S", "k"},
      // Windows ends the name at the first ']'; Wine at the last one.
      {"two closing brackets", "[S]x]\r\nk=v\r\n", "S", "k", Wine::kDiffers},
      // Windows starts a section without ']'; Wine does not.
      {"header without closing bracket", "[S\r\nk=v\r\n", "S", "k", Wine::kDiffers},
      // Windows keeps the UTF-8 BOM as text of line 1; Wine decodes UTF-8.
      {"UTF-8 BOM", "\xef\xbb\xbf[S]\r\nk=v\r\n", "S", "k", Wine::kDiffers},
  };
  TempFolder temp;
  for (const IniCase& row : cases) {
    if (row.wine == Wine::kDiffers && RunningUnderWine()) continue;
    std::string path = temp.Write("case.ini", row.bytes);
    char buffer[255];
    DWORD copied =
        GetPrivateProfileStringA(row.section, row.key, "", buffer, sizeof(buffer), path.c_str());
    EXPECT_EQ(ProfileLookup(row.bytes, row.section, row.key), std::string(buffer, copied))
        << row.what;
  }
}

TEST(WildcardComparison, WildcardMatchSelectsWhatFindFirstFileFinds) {
  // Windows turns '?' into DOS_QM, which matches one character other than '.'
  // or nothing before a '.' or the end, and drops a final '.' after turning the
  // '*' before it into DOS_STAR; Wine's '?' is exactly one character and it
  // keeps the final '.'.
  struct Pattern {
    const char* pattern;
    Wine wine = Wine::kSame;
  };
  const std::vector<std::string> names = {
      "4711_a.jpg",     "4711_a", "4711_",     "4711_a.b.c", "4711_ab.JPG",
      "X4711_a.jpg",    "a.b",    "ab",        "abc",        "abc.txt",
      "abc.txta",       "readme", ".profile",  "x y.jpg",    "Äbc.jpg",
      "Ωμέγα_łódź.jpg", "a😀b",    "UPPER.JPG", "a..b",       "abcdefghij.jpeg"};
  const std::vector<Pattern> patterns = {{"*"},
                                         {"*.*"},
                                         {"4711_*.*"},
                                         {"4711_*"},
                                         {"4711_*.jpg"},
                                         {"*.JPG"},
                                         {"?b"},
                                         {"a?"},
                                         {"??"},
                                         {"???", Wine::kDiffers},
                                         {"a.?"},
                                         {"a?b", Wine::kDiffers},
                                         {"*.", Wine::kDiffers},
                                         {"a*b"},
                                         {"*a*"},
                                         {"4711_?", Wine::kDiffers},
                                         {"4711_?.*", Wine::kDiffers},
                                         {"4711_??.*", Wine::kDiffers},
                                         {"*.b*"},
                                         {"abc.txt"},
                                         {"ABC.TXT"},
                                         {"*_"},
                                         {"äbc*"},
                                         {"ΩΜΈΓΑ_ŁÓDŹ.*"},
                                         {"a??b", Wine::kDiffers},  // "a😀b", not "a..b"
                                         {"*.txt"},
                                         {"*.tx?"},
                                         {"x?y.*"},
                                         {".*"},
                                         {"*.?", Wine::kDiffers},
                                         {"a.*"},
                                         {"?.*", Wine::kDiffers},
                                         {"abc?", Wine::kDiffers},
                                         {"abc??", Wine::kDiffers},
                                         {"a..b"},
                                         {"*b"},
                                         {"4711_a.?p?"},
                                         {"*.jpeg"},
                                         {"abcdefghij.*"},
                                         {"*.jp"}};
  TempFolder temp;
  for (const std::string& name : names) temp.Write(name, "x");
  for (const Pattern& row : patterns) {
    if (row.wine == Wine::kDiffers && RunningUnderWine()) continue;
    const std::string pattern = row.pattern;
    std::set<std::string> found;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(WideFromUtf8(temp / pattern).c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::string name = Utf8FromWide(entry.cFileName);
        if (name == "." || name == "..") continue;
        // Matches through the 8.3 short name ("*.txt" finding "abc.txta") are
        // left out of the reproduction on purpose.
        if (!WildcardMatch(pattern, name) && entry.cAlternateFileName[0] != L'\0' &&
            WildcardMatch(pattern, Utf8FromWide(entry.cAlternateFileName))) {
          continue;
        }
        found.insert(name);
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
    std::set<std::string> matched;
    for (const std::string& name : names) {
      if (WildcardMatch(pattern, name)) matched.insert(name);
    }
    EXPECT_EQ(matched, found) << pattern;
  }
}

// A conversion's value, or the VB error number it raised.
struct Outcome {
  long value = 0;
  int error = 0;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  if (outcome.error != 0) return out << "error " << outcome.error;
  return out << outcome.value;
}

template <typename Convert>
Outcome OutcomeOf(Convert convert) {
  try {
    return {static_cast<long>(convert()), 0};
  } catch (const VbError& failure) {
    return {0, failure.number()};
  }
}

TEST(RegionalComparison, UsCIntAndCLngConvertAsVarI2AndVarI4FromStr) {
  const std::vector<std::string> texts = {"0",
                                          "1",
                                          "-1",
                                          " 42 ",
                                          "\t7\t",
                                          "+5",
                                          "5-",
                                          "5+",
                                          "(5)",
                                          "- 5",
                                          "2.5",
                                          "3.5",
                                          "-2.5",
                                          "0.5",
                                          "1.5",
                                          "-0.5",
                                          ".5",
                                          "5.",
                                          "32767",
                                          "32768",
                                          "-32768",
                                          "-32769",
                                          "32767.49",
                                          "32767.5",
                                          "-32768.5",
                                          "-32768.51",
                                          "1e3",
                                          "1E4",
                                          "1e5",
                                          "1e-1",
                                          "2.5e0",
                                          "1e",
                                          "1,000",
                                          "1,0",
                                          ",1",
                                          "1,,0",
                                          "$5",
                                          "5$",
                                          "&HFFFF",
                                          "&h7fff",
                                          "&H8000",
                                          "&H10000",
                                          "&O177777",
                                          "&O77",
                                          "&H",
                                          "&HG",
                                          "&HFFFFFFFF",
                                          "&H80000000",
                                          "0x10",
                                          "",
                                          " ",
                                          "abc",
                                          "12abc",
                                          "1.2.3",
                                          "1 000",
                                          "2147483647",
                                          "2147483648",
                                          "-2147483648",
                                          "-2147483649",
                                          "2147483647.5",
                                          "000012",
                                          "1.5e1",
                                          "\xc2\xa0"  // the no-break space
                                          "3",
                                          "--1",
                                          "(-1)",
                                          "1d2",
                                          "1.0000000000000000000001",
                                          "99999999999999999999",
                                          std::string("4\0"
                                                      "2",
                                                      3)};
  Win32Platform platform;
  for (const std::string& text : texts) {
    EXPECT_EQ(OutcomeOf([&] { return UsCIntFromString(text); }),
              OutcomeOf([&] { return platform.CIntFromString(text); }))
        << "CInt(\"" << text << "\")";
    EXPECT_EQ(OutcomeOf([&] { return UsCLngFromString(text); }),
              OutcomeOf([&] { return platform.CLngFromString(text); }))
        << "CLng(\"" << text << "\")";
  }
}

long long WholeSeconds(VbDate date) { return std::llround(date * 86400.0); }

TEST(RegionalComparison, UsFormatsPrintDatesAsVarBstrFromDate) {
  const std::vector<CivilDateTime> dates = {
      {2026, 12, 5, 16, 12, 40},  {2026, 12, 5, 0, 0, 0},    {1899, 12, 30, 16, 12, 40},
      {1899, 12, 30, 0, 0, 0},    {2000, 1, 1, 12, 0, 0},    {2000, 1, 1, 0, 0, 1},
      {1999, 12, 31, 23, 59, 59}, {1900, 2, 28, 11, 59, 59}, {1800, 6, 15, 6, 30, 0},
      {1899, 12, 29, 18, 0, 0},   {100, 1, 1, 0, 0, 0},      {9999, 12, 31, 23, 59, 59}};
  Win32Platform platform;
  for (const CivilDateTime& civil : dates) {
    VbDate date = FromCivil(civil);
    SCOPED_TRACE(platform.FormatGeneralDate(date));
    EXPECT_EQ(UsFormatGeneralDate(date), platform.FormatGeneralDate(date));
    EXPECT_EQ(UsFormatShortDate(date), platform.FormatShortDate(date));
    EXPECT_EQ(UsFormatLongTime(date), platform.FormatTimeOfDay(date));
  }
}

TEST(RegionalComparison, UsParseDateReadsTextsAsVarDateFromStr) {
  struct DateCase {
    const char* text;
    Wine wine = Wine::kSame;
  };
  const std::vector<DateCase> cases = {
      {"1/2/1970"},
      {"1970-1-13"},
      {"2 Jan 1970"},
      {"2-Jan-1970"},
      {"6/30/2011 01:20:34 PM"},
      {"13-1-1970"},
      // Windows rejects "0.0" (very old versions took it); Wine takes it.
      {"0.0", Wine::kDiffers},
      {"20160531"},
      {"2.5"},
      {"12/5/2026 4:12:40 PM"},
      {"12/5/2026"},
      {"4:12:40 PM"},
      {"4:12 pm"},
      {"16:12"},
      {"12:00 AM"},
      {"12:00:00 PM"},
      {"Thursday, June 30, 2011"},
      {"June 30, 2011"},
      {"30 June 2011"},
      {"Jun 30 2011"},
      {"2/29/2024"},
      {"2/29/2023"},
      {"2/30/2024"},
      {"13/13/2020"},
      {"0/1/2020"},
      {"1/0/2020"},
      {"12/5"},
      {"5/2026"},
      {"2026/12/5"},
      {"2026-12-05 16:12:40"},
      {"  12/5/2026  "},
      {"12-5-2026"},
      {"12.5.2026"},
      {""},
      {" "},
      {"abc"},
      {"12/5/2026 25:00"},
      {"24:00"},
      {"1/1/100"},
      {"12/31/9999"},
      {"1/1/10000"},
      {"1/1/99"},
      // The two-digit year window of current Windows: 1950..2049.
      {"1/1/30"},
      {"1/1/49"},
      {"1/1/29"},
      {"1/1/50"},
      {"1 2 3"},
      {"1:2:3"},
      {"10:61"},
      {"noon"},
      {"4 PM"},
      {"PM 4:00"}};
  SYSTEMTIME local;
  GetLocalTime(&local);
  Win32Platform platform;
  for (const DateCase& row : cases) {
    if (row.wine == Wine::kDiffers && RunningUnderWine()) continue;
    std::optional<VbDate> expected = platform.ParseDate(row.text);
    std::optional<VbDate> actual = UsParseDate(row.text, local.wYear);
    auto shown = [&](const std::optional<VbDate>& date) {
      return date ? UsFormatGeneralDate(*date) + " (" + std::to_string(*date) + ")"
                  : std::string("not a date");
    };
    EXPECT_EQ(actual.has_value(), expected.has_value())
        << row.text << ": " << shown(actual) << " vs " << shown(expected);
    if (actual && expected) {
      EXPECT_EQ(WholeSeconds(*actual), WholeSeconds(*expected))
          << row.text << ": " << shown(actual) << " vs " << shown(expected);
    }
  }
}

// The arguments the C runtime of a started program splits from `line`.
std::vector<std::string> ChildArguments(const std::string& line) {
  static const std::string echo = Win32Platform().ModuleFolder() + "\\win32_argv_echo.exe";
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return {"<no pipe>"};
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + echo + "\" " + line;
  BOOL started = CreateProcessA(echo.c_str(), command.data(), nullptr, nullptr, TRUE,
                                CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  std::string output;
  char buffer[512];
  DWORD got = 0;
  while (started && ReadFile(read_end, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  CloseHandle(read_end);
  if (!started) return {"<not started>"};
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  std::vector<std::string> arguments;
  std::size_t pos = 0;
  while (pos < output.size()) {
    std::size_t colon = output.find(':', pos);
    std::size_t length = std::stoul(output.substr(pos, colon - pos));
    arguments.push_back(output.substr(colon + 1, length));
    pos = colon + 1 + length;
  }
  return arguments;
}

TEST(CommandLineComparison, SplitWindowsCommandLineSplitsAsTheCRuntime) {
  // The rows with "" inside quotes are where the C runtime (since 2008) and
  // CommandLineToArgvW part: the runtime stays inside the quotes.
  const std::vector<std::string> lines = {"a b c",
                                          "  a   b  ",
                                          "\"a b\" c",
                                          "a\"b c\"d",
                                          "\"\"",
                                          "a \"\" b",
                                          "\\",
                                          "a\\b",
                                          "a\\\\b",
                                          "a\\\"b",
                                          "a\\\\\"b c\"",
                                          "\"a\\\\\" b",
                                          "\"a\\\"b\"",
                                          "\"a\"\"b\"",
                                          "\"a\"\" b\"",
                                          "\"a\"\"\" b",
                                          "\"\"\"a b\"\"\"",
                                          "\"\"\"\"",
                                          "a\tb",
                                          "\"C:\\Program Files\\x\\\" y",
                                          "4711 \"M\xfcller\" \"Anna Maria\" 19700102",
                                          "\"unterminated",
                                          "a\"",
                                          "\"\"a",
                                          "\\\\\\\"",
                                          ""};
  for (const std::string& line : lines) {
    EXPECT_EQ(SplitWindowsCommandLine(line), ChildArguments(line)) << line;
  }
}

}  // namespace
}  // namespace tavirex
