#include "winrules/vb_date.h"

#include <array>
#include <chrono>
#include <cmath>

#include "winrules/ansi_text.h"
#include "winrules/vb_string.h"

namespace tavirex {
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
  // Read in the ANSI code page, which holds every character of a date.
  if (!ScanDateFields(Cp1252FromUtf8(text), fields, only_point_separators)) return std::nullopt;
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

}  // namespace tavirex
