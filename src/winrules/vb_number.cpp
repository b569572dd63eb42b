#include "winrules/vb_number.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "winrules/ansi_text.h"
#include "winrules/vb_error.h"

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

// mantissa * 10^power10 as the nearest double. Exact when both factors are
// exact doubles (the common case: a short number); otherwise computed in the
// widest floating type, within a unit in the last place. Written out rather
// than calling strtod, whose C runtime code would double the DLL's size.
double ScaleByPowerOf10(std::uint64_t mantissa, long long power10) {
  if (mantissa == 0) return 0;
  if (power10 > 400) return std::numeric_limits<double>::infinity();
  if (power10 < -400) return 0;
  constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;
  if (mantissa <= kExactMantissa && power10 >= -22 && power10 <= 22) {
    double scale = 1;
    for (long long k = 0; k < (power10 < 0 ? -power10 : power10); ++k) scale *= 10;
    return power10 < 0 ? static_cast<double>(mantissa) / scale
                       : static_cast<double>(mantissa) * scale;
  }
  long double scale = 1, factor = 10;
  for (long long k = power10 < 0 ? -power10 : power10; k > 0; k >>= 1, factor *= factor) {
    if (k & 1) scale *= factor;
  }
  long double value = static_cast<long double>(mantissa);
  return static_cast<double>(power10 < 0 ? value / scale : value * scale);
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
  auto digit_at = [&](std::size_t k) {
    return k < compact.size() && std::isdigit(static_cast<unsigned char>(compact[k]));
  };
  bool negative = false;
  if (i < compact.size() && (compact[i] == '+' || compact[i] == '-'))
    negative = compact[i++] == '-';
  // The first 19 significant digits are kept exactly; later ones only scale.
  std::uint64_t mantissa = 0;
  int kept = 0;
  long long power10 = 0;
  bool any_digit = false;
  auto take_digit = [&](char c, bool after_point) {
    any_digit = true;
    if (mantissa == 0 && c == '0') {
      if (after_point) --power10;
      return;
    }
    if (kept < 19) {
      mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      ++kept;
      if (after_point) --power10;
    } else if (!after_point) {
      ++power10;
    }
  };
  while (digit_at(i)) take_digit(compact[i++], false);
  if (i < compact.size() && compact[i] == '.') {
    ++i;
    while (digit_at(i)) take_digit(compact[i++], true);
  }
  if (!any_digit) return 0;
  if (i < compact.size() &&
      (compact[i] == 'e' || compact[i] == 'E' || compact[i] == 'd' || compact[i] == 'D')) {
    std::size_t j = i + 1;
    bool negative_exponent = false;
    if (j < compact.size() && (compact[j] == '+' || compact[j] == '-')) {
      negative_exponent = compact[j++] == '-';
    }
    long long exponent = 0;
    while (digit_at(j)) exponent = std::min(exponent * 10 + (compact[j++] - '0'), 100000LL);
    power10 += negative_exponent ? -exponent : exponent;
  }
  return negative ? -ScaleByPowerOf10(mantissa, power10) : ScaleByPowerOf10(mantissa, power10);
}

std::int16_t CIntFromDouble(double value) { return ToIntegerHalfEven<std::int16_t>(value); }
std::int32_t CLngFromDouble(double value) { return ToIntegerHalfEven<std::int32_t>(value); }

namespace {

// Blanks as the Unicode classification OLE Automation uses sees the ANSI
// characters: the ASCII white space and the no-break space.
bool IsOleSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\xa0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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

}  // namespace

// The parse reads the ANSI form of the text: every character a number can
// hold (digits, signs, '$', the no-break space) lies in the code page.
std::int16_t UsCIntFromString(std::string_view text) {
  return IntegerFromString<std::int16_t>(Cp1252FromUtf8(text));
}

std::int32_t UsCLngFromString(std::string_view text) {
  return IntegerFromString<std::int32_t>(Cp1252FromUtf8(text));
}

}  // namespace tavirex
