#include "hostenv/posix/us_regional.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

#include "hostenv/posix/ansi_text.h"
#include "hostenv/vb_error.h"
#include "hostenv/vb_runtime.h"

namespace tavirex {
namespace {

// Blanks as the Unicode classification OLE Automation uses sees the ANSI
// characters: the ASCII white space and the no-break space.
bool IsOleSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\xa0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------------------
// Formats

std::string ShortDate(const CivilDateTime& civil) {
  return std::to_string(civil.month) + "/" + std::to_string(civil.day) + "/" +
         std::to_string(civil.year);
}

std::string LongTime(const CivilDateTime& civil) {
  int hour12 = civil.hour % 12 == 0 ? 12 : civil.hour % 12;
  return std::to_string(hour12) + ":" + TwoDigits(civil.minute) + ":" + TwoDigits(civil.second) +
         (civil.hour < 12 ? " AM" : " PM");
}

// ---------------------------------------------------------------------------
// Numbers: the parse of VarParseNumFromStr with all syntax flags allowed, and
// the integer conversion of VarNumFromParseNum.

enum class NumberStatus { kOk, kTypeMismatch, kOverflow };

struct ParsedNumber {
  std::vector<unsigned char> digits;  // decimal digits without leading zeros
  long long power10 = 0;              // value = digits * 10^power10
  bool negative = false;
  int base_bits = 0;  // 4 for &H, 3 for &O: `radix_value` holds it
  std::uint64_t radix_value = 0;
  bool radix_overflow = false;
};

NumberStatus ParseOleNumber(std::string_view text, ParsedNumber& number) {
  text = text.substr(0, text.find('\0'));  // the automation string ends there
  constexpr std::size_t kMaxDigits = 1024;
  std::size_t i = 0;
  auto at = [&](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
  bool decimal = false, currency = false, leading_plus = false, leading_minus = false;
  bool parens = false, exponent = false, in_exponent = false, negative_exponent = false;
  bool leading_zero = false;

  auto skip_zeros_after_point = [&] {
    if (!number.digits.empty()) return;
    while (at(i) == '0') {
      leading_zero = true;
      ++i;
      --number.power10;
    }
  };

  // Leading symbols and blanks.
  while (true) {
    char c = at(i);
    if (c == '.') {
      decimal = true;
      ++i;
      skip_zeros_after_point();
      break;
    } else if (IsOleSpace(c)) {
      while (IsOleSpace(at(i))) ++i;
    } else if (c == ',') {
      return NumberStatus::kTypeMismatch;  // no separator before the first digit
    } else if (c == '+' && !leading_plus) {
      leading_plus = true;
      ++i;
    } else if (c == '-' && !leading_minus) {
      leading_minus = number.negative = true;
      ++i;
    } else if (c == '$' && !currency) {
      currency = true;
      ++i;
    } else if (c == '(' && !parens) {
      parens = true;
      ++i;
    } else {
      break;
    }
  }

  if (!currency && !decimal && at(i) == '&') {
    char kind = at(i + 1);
    if (kind == 'H' || kind == 'h') number.base_bits = 4;
    if (kind == 'O' || kind == 'o') number.base_bits = 3;
    if (number.base_bits != 0) i += 2;
  }
  const bool radix = number.base_bits != 0;
  auto add_radix_digit = [&](unsigned digit) {
    if (number.radix_value >> (64 - number.base_bits) != 0) number.radix_overflow = true;
    number.radix_value = number.radix_value << number.base_bits | digit;
    number.digits.push_back(static_cast<unsigned char>(digit));
  };

  while (at(i) == '0') {
    leading_zero = true;
    ++i;
  }

  while (i < text.size()) {
    char c = text[i];
    if (IsDigit(c)) {
      if (in_exponent) {
        long long value = 0;
        while (IsDigit(at(i))) {
          if (value < 1000000) value = value * 10 + (at(i) - '0');
          ++i;
        }
        number.power10 += negative_exponent ? -value : value;
        in_exponent = false;
        continue;
      }
      if (number.base_bits == 3 && (c == '8' || c == '9')) break;
      if (radix) {
        add_radix_digit(static_cast<unsigned>(c - '0'));
      } else if (number.digits.size() >= kMaxDigits) {
        if (!decimal) ++number.power10;  // too many digits: keep the magnitude
      } else {
        if (decimal) --number.power10;
        number.digits.push_back(static_cast<unsigned char>(c - '0'));
      }
      ++i;
    } else if (c == ',' && !radix) {
      ++i;
    } else if (c == '.' && !radix && !decimal && !exponent) {
      decimal = true;
      ++i;
      skip_zeros_after_point();
    } else if (number.base_bits == 4 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
      add_radix_digit(static_cast<unsigned>((c | 0x20) - 'a' + 10));
      ++i;
    } else if ((c == 'e' || c == 'E') && !radix && !currency && !exponent) {
      exponent = in_exponent = true;
      ++i;
    } else if (in_exponent && c == '+') {
      ++i;
    } else if (in_exponent && c == '-') {
      negative_exponent = true;
      ++i;
    } else {
      break;
    }
  }
  if (number.digits.empty() && leading_zero) number.digits.push_back(0);
  if (in_exponent) return NumberStatus::kTypeMismatch;  // "1e", "1e+"

  // Trailing symbols and blanks.
  while (true) {
    char c = at(i);
    if (c == ',') {
      if (radix) break;
      ++i;
    } else if (IsOleSpace(c)) {
      while (IsOleSpace(at(i))) ++i;
    } else if (c == '+' && !leading_plus) {
      ++i;
    } else if (c == '-' && !leading_minus) {
      number.negative = true;
      ++i;
    } else if (c == ')' && parens) {
      number.negative = true;
      ++i;
    } else if (c == '$' && !radix) {
      currency = true;
      ++i;
    } else {
      break;
    }
  }
  if (parens && !number.negative) return NumberStatus::kTypeMismatch;
  if (i < text.size()) return NumberStatus::kTypeMismatch;
  if (number.digits.empty()) return NumberStatus::kTypeMismatch;
  return NumberStatus::kOk;
}

// The number as an integer of the range [-min_magnitude, max_value], halves
// rounded to even.
NumberStatus ToInteger(const ParsedNumber& number, std::uint64_t min_magnitude,
                       std::uint64_t max_value, unsigned bits, std::int64_t& result) {
  if (number.base_bits != 0) {
    // The bit pattern, whatever the sign: &HFFFF is -1 as a 16-bit integer.
    if (number.radix_overflow || (number.radix_value >> bits) != 0) return NumberStatus::kOverflow;
    std::uint64_t sign_bit = std::uint64_t{1} << (bits - 1);
    std::uint64_t value = number.radix_value;
    result = (value & sign_bit)
                 ? static_cast<std::int64_t>(value) - static_cast<std::int64_t>(sign_bit << 1)
                 : static_cast<std::int64_t>(value);
    return NumberStatus::kOk;
  }
  const long long count = static_cast<long long>(number.digits.size());
  const long long whole_digits = number.power10 < 0 ? count + number.power10 : count;
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 40;  // beyond every range here
  std::uint64_t magnitude = 0;
  for (long long k = 0; k < whole_digits; ++k) {
    magnitude = magnitude * 10 + number.digits[static_cast<std::size_t>(k)];
    if (magnitude > kLimit) return NumberStatus::kOverflow;
  }
  for (long long k = 0; k < number.power10; ++k) {
    if (magnitude == 0) break;
    magnitude *= 10;
    if (magnitude > kLimit) return NumberStatus::kOverflow;
  }
  // The digit worth a tenth decides, the digits after it break a tie; a value
  // below a tenth rounds to zero.
  if (number.power10 < 0 && whole_digits >= 0 && whole_digits < count) {
    auto first = static_cast<std::size_t>(whole_digits);
    unsigned char tenth = number.digits[first];
    bool beyond_half = false;
    for (std::size_t k = first + 1; k < number.digits.size(); ++k) {
      if (number.digits[k] != 0) beyond_half = true;
    }
    if (tenth > 5 || (tenth == 5 && (beyond_half || (magnitude & 1)))) ++magnitude;
  }
  if (number.negative && magnitude != 0) {
    if (magnitude > min_magnitude) return NumberStatus::kOverflow;
    result = -static_cast<std::int64_t>(magnitude);
  } else {
    if (magnitude > max_value) return NumberStatus::kOverflow;
    result = static_cast<std::int64_t>(magnitude);
  }
  return NumberStatus::kOk;
}

template <typename Int>
Int IntegerFromString(std::string_view text) {
  ParsedNumber number;
  NumberStatus status = ParseOleNumber(text, number);
  std::int64_t result = 0;
  if (status == NumberStatus::kOk) {
    constexpr auto kMin = std::numeric_limits<Int>::min();
    constexpr auto kMax = std::numeric_limits<Int>::max();
    status = ToInteger(number, static_cast<std::uint64_t>(-static_cast<std::int64_t>(kMin)),
                       static_cast<std::uint64_t>(kMax), sizeof(Int) * 8, result);
  }
  if (status == NumberStatus::kTypeMismatch) throw VbError(vberr::kTypeMismatch);
  if (status == NumberStatus::kOverflow) throw VbError(vberr::kOverflow);
  return static_cast<Int>(result);
}

// ---------------------------------------------------------------------------
// Dates: the field scan and order rules of VarDateFromStr for the US locale.

constexpr unsigned kTimeSep = 0x01;  // a ':' or '.' follows the field
constexpr unsigned kMonth = 0x04;    // the field is a month name
constexpr unsigned kAm = 0x08;
constexpr unsigned kPm = 0x10;
constexpr unsigned kAmPm = kAm | kPm;

struct DateFields {
  std::size_t count = 0;
  unsigned parse_flags = 0;  // kAm or kPm once seen
  std::array<unsigned, 6> flags{};
  std::array<std::uint32_t, 6> values{};
};

struct TimeOfDay {
  std::uint32_t hour = 0, minute = 0, second = 0;
};

// The locale's words in the order they are tried: month names, abbreviated
// month names, day names, abbreviated day names, then the AM and PM symbols.
constexpr std::array<std::string_view, 40> kDateWords = {
    "January",   "February", "March",     "April",    "May",    "June",     "July",   "August",
    "September", "October",  "November",  "December", "Jan",    "Feb",      "Mar",    "Apr",
    "May",       "Jun",      "Jul",       "Aug",      "Sep",    "Oct",      "Nov",    "Dec",
    "Monday",    "Tuesday",  "Wednesday", "Thursday", "Friday", "Saturday", "Sunday", "Mon",
    "Tue",       "Wed",      "Thu",       "Fri",      "Sat",    "Sun",      "AM",     "PM"};
constexpr std::size_t kFirstDayWord = 24;
constexpr std::size_t kAmWord = 38;
constexpr std::size_t kPmWord = 39;

bool StartsWithIgnoreCase(std::string_view text, std::string_view word) {
  return text.size() >= word.size() && EqualsIgnoreCaseAnsi(text.substr(0, word.size()), word);
}

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsLeap(std::uint32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

bool IsValidMonthDay(std::uint32_t day, std::uint32_t month, std::uint32_t year) {
  static constexpr std::array<std::uint32_t, 13> kDays = {0,  31, 28, 31, 30, 31, 30,
                                                          31, 31, 30, 31, 30, 31};
  if (day == 0 || month == 0 || month > 12) return false;
  return day <= kDays[month] || (month == 2 && day == 29 && IsLeap(year));
}

// Splits the text into up to six numbers with the separators that follow
// them. False when the text cannot be a date.
bool ScanDateFields(std::string_view text, DateFields& fields, bool& only_point_separators) {
  text = text.substr(0, text.find('\0'));
  std::size_t date_separators = 0;
  only_point_separators = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool last = i + 1 == text.size();
    if (IsDigit(c)) {
      if (fields.count >= 6) return false;
      std::uint64_t value = 0;
      while (i < text.size() && IsDigit(text[i])) {
        value = std::min<std::uint64_t>(value * 10 + (text[i] - '0'), 0xFFFFFFFFu);
        ++i;
      }
      --i;
      fields.values[fields.count++] = static_cast<std::uint32_t>(value);
    } else if (IsAsciiAlpha(c)) {
      std::string_view rest = text.substr(i);
      std::size_t word = 0;
      while (word < kDateWords.size() && !StartsWithIgnoreCase(rest, kDateWords[word])) ++word;
      if (word < kDateWords.size()) {
        if (word < kFirstDayWord) {
          if (fields.count >= 6) return false;
          fields.values[fields.count] = static_cast<std::uint32_t>(word % 12 + 1);
          fields.flags[fields.count++] |= kMonth;
        } else if (word == kAmWord || word == kPmWord) {
          if (fields.count == 0 || (fields.parse_flags & kAmPm)) return false;
          unsigned flag = word == kAmWord ? kAm : kPm;
          fields.flags[fields.count - 1] |= flag;
          fields.parse_flags |= flag;
        }
        i += kDateWords[word].size() - 1;
      } else if ((c == 'a' || c == 'A' || c == 'p' || c == 'P') && fields.count != 0 &&
                 !(fields.parse_flags & kAmPm)) {
        unsigned flag = (c == 'a' || c == 'A') ? kAm : kPm;  // "a" and "p" for am and pm
        fields.flags[fields.count - 1] |= flag;
        fields.parse_flags |= flag;
      } else {
        return false;
      }
    } else if (c == ':' || c == '.') {
      if (fields.count == 0 || last) return false;
      if (c == ':') only_point_separators = false;
      fields.flags[fields.count - 1] |= kTimeSep;  // the date separator is '/'
    } else if (c == '-' || c == '/') {
      only_point_separators = false;
      if (++date_separators > 2 || fields.count == 0 || last) return false;
    } else if (c == ',' || IsOleSpace(c)) {
      if (c == ',' && last) return false;
    } else {
      return false;
    }
  }
  return fields.count != 0 && (fields.count != 1 || (fields.parse_flags & kAmPm));
}

// Picks the time fields out of the scanned fields by the positions of the time
// separators; leaves the date fields from `offset` on, `fields.count` of them.
bool SplitTimeFields(DateFields& fields, TimeOfDay& time, std::size_t& offset) {
  auto ampm = [&](std::size_t k) { return (fields.flags[k] & kAmPm) != 0; };
  const bool any_ampm = (fields.parse_flags & kAmPm) != 0;
  std::size_t& count = fields.count;
  const auto& v = fields.values;
  unsigned pattern = 0;
  for (std::size_t k = 0; k < 5; ++k) pattern |= (fields.flags[k] & kTimeSep) << k;
  offset = 0;
  switch (pattern) {
    case 0x1:  // TT, TTDD, TTDDD
      if (count > 3 && (ampm(2) || ampm(3) || ampm(4))) return false;
      if (count != 2 && count != 4 && count != 5) return false;
      time = {v[0], v[1], 0};
      count -= 2;
      offset = 2;
      return true;
    case 0x3:  // TTT, TTTDD, TTTDDD
      if (count > 4 && (ampm(3) || ampm(4) || ampm(5))) return false;
      if (count != 3 && count != 5 && count != 6) return false;
      time = {v[0], v[1], v[2]};
      count -= 3;
      offset = 3;
      return true;
    case 0x4:  // DDTT
      if (count != 4 || ampm(0) || ampm(1)) return false;
      time = {v[2], v[3], 0};
      count -= 2;
      return true;
    case 0x0:  // T, DD, DDD, TDD, DDT, TDDD, DDDT
      if (count == 1 && any_ampm) {
        time = {v[0], 0, 0};
        count = 0;
        return true;
      }
      if (count > 4 || (count < 3 && any_ampm)) return false;
      if (count == 3) {
        if (ampm(0)) {
          time = {v[0], 0, 0};
          count = 2;
          offset = 1;
          return true;
        }
        if (ampm(2)) {
          time = {v[2], 0, 0};
          count = 2;
          return true;
        }
        if (any_ampm) return false;
      } else if (count == 4) {
        count = 3;
        if (ampm(0)) {
          time = {v[0], 0, 0};
          offset = 1;
          return true;
        }
        if (ampm(3)) {
          time = {v[3], 0, 0};
          return true;
        }
        return false;
      }
      [[fallthrough]];
    case 0x8:  // DDDTT
      if ((count == 2 && any_ampm) || (count == 5 && (ampm(0) || ampm(1) || ampm(2))) ||
          count == 4 || count == 6) {
        return false;
      }
      time = {v[3], v[4], 0};
      if (count == 5) count -= 2;
      return true;
    case 0xC:  // DDTTT
      if (count != 5 || ampm(0) || ampm(1)) return false;
      time = {v[2], v[3], v[4]};
      count -= 3;
      return true;
    case 0x18:  // DDDTTT
      if (ampm(0) || ampm(1) || ampm(2)) return false;
      time = {v[3], v[4], v[5]};
      count -= 3;
      return true;
    default:
      return false;
  }
}

constexpr unsigned kOrderMdy = 0x01, kOrderYmd = 0x02, kOrderYdm = 0x04, kOrderDmy = 0x08,
                   kOrderMyd = 0x10;

// Day, month and year from the date fields: the US order first, then the
// orders compatible with it, then any order that makes a valid date.
bool MakeDate(const DateFields& fields, std::size_t offset, int current_year, std::uint32_t& day,
              std::uint32_t& month, std::uint32_t& year) {
  std::size_t count = fields.count;
  if (count == 0) {
    day = 30;
    month = 12;
    year = 1899;
    return true;
  }
  std::uint32_t v1 = fields.values[offset], v2 = fields.values[offset + 1];
  std::uint32_t v3 =
      count == 2 ? static_cast<std::uint32_t>(current_year) : fields.values[offset + 2];
  unsigned orders;
  if (fields.flags[offset] & kMonth) {
    orders = kOrderMdy;
  } else if (fields.flags[offset + 1] & kMonth) {
    orders = kOrderDmy | (count > 2 ? kOrderYmd : 0);
  } else if (count > 2 && (fields.flags[offset + 2] & kMonth)) {
    orders = kOrderYdm;
  } else {
    orders = kOrderMdy | kOrderDmy | (count > 2 ? kOrderYmd | kOrderYdm : 0);
  }
  for (int round = 0; round < 2; ++round) {
    for (int attempt = 0; orders != 0; ++attempt) {
      unsigned tried = attempt == 0   ? orders & kOrderMdy
                       : attempt == 1 ? orders & ~(kOrderDmy | kOrderYdm)
                                      : orders;
      if (tried & kOrderMdy) {
        if (IsValidMonthDay(v2, v1, v3)) {
          day = v2, month = v1, year = v3;
          return true;
        }
        orders &= ~kOrderMdy;
      }
      if (tried & kOrderYmd) {
        if (IsValidMonthDay(v3, v2, v1)) {
          day = v3, month = v2, year = v1;
          return true;
        }
        orders &= ~kOrderYmd;
      }
      if (tried & kOrderYdm) {
        if (IsValidMonthDay(v2, v3, v1)) {
          day = v2, month = v3, year = v1;
          return true;
        }
        orders &= ~kOrderYdm;
      }
      if (tried & kOrderDmy) {
        if (IsValidMonthDay(v1, v2, v3)) {
          day = v1, month = v2, year = v3;
          return true;
        }
        orders &= ~kOrderDmy;
      }
      if (tried & kOrderMyd) {
        if (IsValidMonthDay(v3, v1, v2)) {
          day = v3, month = v1, year = v2;
          return true;
        }
        orders &= ~kOrderMyd;
      }
    }
    if (count != 2) break;
    // Neither month/day nor day/month: month and year, on the first.
    v3 = 1;
    orders = kOrderYmd | kOrderMyd;
  }
  return false;
}

int CurrentYear() {
  using namespace std::chrono;
  auto seconds = duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch());
  return ToCivil(static_cast<double>(seconds.count()) / 86400.0 + 25569.0).year;
}

}  // namespace

std::string UsFormatShortDate(VbDate date) { return ShortDate(ToCivil(date)); }

std::string UsFormatLongTime(VbDate date) { return LongTime(ToCivil(date)); }

std::string UsFormatGeneralDate(VbDate date) {
  double whole = date < 0 ? std::ceil(date) : std::floor(date);
  double partial = date - whole;
  CivilDateTime civil = ToCivil(date);
  if (whole == 0.0) return LongTime(civil);
  if (partial > -1e-12 && partial < 1e-12) return ShortDate(civil);
  return ShortDate(civil) + " " + LongTime(civil);
}

std::optional<VbDate> UsParseDate(std::string_view text) {
  return UsParseDate(text, CurrentYear());
}

std::optional<VbDate> UsParseDate(std::string_view text, int current_year) {
  DateFields fields;
  bool only_point_separators = false;
  if (!ScanDateFields(text, fields, only_point_separators)) return std::nullopt;
  const bool any_ampm = (fields.parse_flags & kAmPm) != 0;
  // Windows (unlike old versions and Wine) does not take "0.0" for midnight.
  if (fields.count == 2 && only_point_separators && !any_ampm && fields.values[0] == 0 &&
      fields.values[1] == 0) {
    return std::nullopt;
  }
  TimeOfDay time;
  std::size_t offset = 0;
  if (!SplitTimeFields(fields, time, offset)) return std::nullopt;
  std::uint32_t day = 0, month = 0, year = 0;
  if (!MakeDate(fields, offset, current_year, day, month, year)) return std::nullopt;
  if (time.hour > 23 || time.minute > 59 || time.second > 59) return std::nullopt;
  if (time.hour < 12 && (fields.parse_flags & kPm))
    time.hour += 12;
  else if (time.hour == 12 && (fields.parse_flags & kAm))
    time.hour = 0;
  // Two-digit years fall in 1950..2049, the window of current Windows.
  if (year <= 49)
    year += 2000;
  else if (year <= 99)
    year += 1900;
  if (year > 9999) return std::nullopt;

  CivilDateTime civil;
  civil.year = static_cast<int>(year);
  civil.month = static_cast<int>(month);
  civil.day = static_cast<int>(day);
  civil.hour = static_cast<int>(time.hour);
  civil.minute = static_cast<int>(time.minute);
  civil.second = static_cast<int>(time.second);
  return FromCivil(civil);
}

std::int16_t UsCIntFromString(std::string_view text) {
  return IntegerFromString<std::int16_t>(text);
}

std::int32_t UsCLngFromString(std::string_view text) {
  return IntegerFromString<std::int32_t>(text);
}

}  // namespace tavirex
