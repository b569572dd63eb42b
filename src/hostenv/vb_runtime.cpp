#include "hostenv/vb_runtime.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "hostenv/vb_error.h"

namespace tavirex {
namespace {

bool IsValBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Rounds halves to the even neighbour, as VB's integer conversions do.
double RoundHalfEven(double value) {
  double floor_value = std::floor(value);
  double diff = value - floor_value;
  if (diff > 0.5) return floor_value + 1;
  if (diff < 0.5) return floor_value;
  return std::fmod(floor_value, 2.0) == 0 ? floor_value : floor_value + 1;
}

template <typename Int>
Int ToIntegerHalfEven(double value) {
  if (std::isnan(value)) throw VbError(vberr::kOverflow);
  double rounded = RoundHalfEven(value);
  if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
    throw VbError(vberr::kOverflow);
  }
  return static_cast<Int>(rounded);
}

double ValRadix(std::string_view digits, int radix) {
  // VB reads &H/&O literals as 16-bit when they fit, else 32-bit, signed.
  std::uint64_t value = 0;
  for (char c : digits) {
    if (IsValBlank(c)) continue;
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (radix == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      break;
    }
    if (digit >= radix) break;
    value = value * radix + digit;
    if (value > 0xFFFFFFFFull) break;
  }
  value &= 0xFFFFFFFFull;
  if (value <= 0xFFFF) return static_cast<std::int16_t>(value);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

double Val(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (!IsValBlank(c)) compact.push_back(c);
  }
  if (compact.size() >= 2 && compact[0] == '&') {
    char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(compact[1])));
    if (kind == 'H') return ValRadix(std::string_view(compact).substr(2), 16);
    if (kind == 'O') return ValRadix(std::string_view(compact).substr(2), 8);
  }
  // Longest prefix of the form [sign] digits [. digits] [(E|D) [sign] digits].
  std::size_t i = 0;
  std::string number;
  if (i < compact.size() && (compact[i] == '+' || compact[i] == '-')) number += compact[i++];
  bool any_digit = false;
  while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) {
    number += compact[i++];
    any_digit = true;
  }
  if (i < compact.size() && compact[i] == '.') {
    number += compact[i++];
    while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) {
      number += compact[i++];
      any_digit = true;
    }
  }
  if (!any_digit) return 0;
  if (i < compact.size() &&
      (compact[i] == 'e' || compact[i] == 'E' || compact[i] == 'd' || compact[i] == 'D')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < compact.size() && (compact[j] == '+' || compact[j] == '-')) exponent += compact[j++];
    bool exponent_digit = false;
    while (j < compact.size() && std::isdigit(static_cast<unsigned char>(compact[j]))) {
      exponent += compact[j++];
      exponent_digit = true;
    }
    if (exponent_digit) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

std::int16_t CIntFromDouble(double value) { return ToIntegerHalfEven<std::int16_t>(value); }
std::int32_t CLngFromDouble(double value) { return ToIntegerHalfEven<std::int32_t>(value); }

std::string Replace(std::string_view text, std::string_view find, std::string_view with) {
  if (find.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = text.find(find, pos);
    if (hit == std::string_view::npos) break;
    result.append(text.substr(pos, hit - pos));
    result.append(with);
    pos = hit + find.size();
  }
  result.append(text.substr(pos));
  return result;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    std::size_t hit = text.find(separator, start);
    if (hit == std::string_view::npos) {
      fields.emplace_back(text.substr(start));
      return fields;
    }
    fields.emplace_back(text.substr(start, hit - start));
    start = hit + 1;
  }
}

const std::string& Field(const std::vector<std::string>& fields, std::size_t index) {
  if (index >= fields.size()) throw VbError(vberr::kSubscriptOutOfRange);
  return fields[index];
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

constexpr long long kOleEpochFromUnixDays = -25569;  // 1899-12-30

}  // namespace

CivilDateTime ToCivil(VbDate date) {
  // Negative OLE dates count days backwards but the time forwards.
  double whole = std::trunc(date);
  double fraction = std::fabs(date - whole);
  long long seconds = std::llround(fraction * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    whole += date < 0 ? -1 : 1;
  }
  CivilDateTime civil;
  CivilFromDays(static_cast<long long>(whole) + kOleEpochFromUnixDays, civil.year, civil.month,
                civil.day);
  civil.hour = static_cast<int>(seconds / 3600);
  civil.minute = static_cast<int>(seconds / 60 % 60);
  civil.second = static_cast<int>(seconds % 60);
  return civil;
}

VbDate FromCivil(const CivilDateTime& civil) {
  double days = static_cast<double>(DaysFromCivil(civil.year, static_cast<unsigned>(civil.month),
                                                  static_cast<unsigned>(civil.day)) -
                                    kOleEpochFromUnixDays);
  double time = (civil.hour * 3600 + civil.minute * 60 + civil.second) / 86400.0;
  return days < 0 ? days - time : days + time;
}

bool HasDatePart(VbDate date) { return std::trunc(date) != 0; }
bool HasTimePart(VbDate date) { return date != std::trunc(date); }

std::string TwoDigits(int value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

}  // namespace tavirex
