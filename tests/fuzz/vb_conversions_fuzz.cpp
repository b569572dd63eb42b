// VB's conversions of a text: Val, CInt and CLng, and IsDate/CDate with the
// formats of the date it gives. Input: the text.
#include <cmath>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "winrules/vb_date.h"
#include "winrules/vb_number.h"

using namespace tavirex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double value = Val(text);  // never fails
  if (std::fabs(value) < 1e9) {
    FUZZ_CHECK(fuzz::SixOrThirteen([&] { CLngFromDouble(value); }) == 0, "CLng(%.17g)", value);
  }

  std::int64_t int_value = 0, long_value = 0;
  const int int_error = fuzz::SixOrThirteen([&] { int_value = UsCIntFromString(text); });
  const int long_error = fuzz::SixOrThirteen([&] { long_value = UsCLngFromString(text); });
  // Whether the text is a number does not depend on the width; &H and &O
  // give bit patterns of the width, so only decimals compare.
  FUZZ_CHECK((int_error == vberr::kTypeMismatch) == (long_error == vberr::kTypeMismatch),
             "CInt %d, CLng %d", int_error, long_error);
  if (text.find('&') == text.npos) {
    if (int_error == 0) FUZZ_CHECK(long_error == 0 && long_value == int_value, "CInt vs CLng");
    if (long_error == 0 && long_value >= -32768 && long_value <= 32767) {
      FUZZ_CHECK(int_error == 0, "CLng %lld fits, CInt failed", static_cast<long long>(long_value));
    }
  }

  // A year 100..9999; the general date reads back as the same date, and its
  // parts as the parts. The year of a date without one is fixed, for repeatable runs.
  const std::optional<VbDate> date = UsParseDate(text, 2026);
  if (!date) return 0;
  FUZZ_CHECK(std::isfinite(*date) && std::fabs(*date) < 3e6, "date %.17g", *date);
  const CivilDateTime civil = ToCivil(*date);
  FUZZ_CHECK(civil.year >= 100 && civil.year <= 9999, "year %d", civil.year);
  const std::string general = UsFormatGeneralDate(*date);
  const std::optional<VbDate> again = UsParseDate(general, 2026);
  FUZZ_CHECK(again && *again == *date, "%.17g -> \"%s\"", *date, general.c_str());
  const std::optional<VbDate> day = UsParseDate(UsFormatShortDate(*date), 2026);
  FUZZ_CHECK(day && *day == FromCivil({civil.year, civil.month, civil.day, 0, 0, 0}),
             "short date of %.17g", *date);
  const std::optional<VbDate> time = UsParseDate(UsFormatLongTime(*date), 2026);
  FUZZ_CHECK(time && *time == FromCivil({1899, 12, 30, civil.hour, civil.minute, civil.second}),
             "long time of %.17g", *date);
  return 0;
}
