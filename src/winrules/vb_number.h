// VB's numbers from text: Val, and CInt/CLng of a number or of a string as
// OLE Automation converts it under the US English settings ('.' decimal point,
// ',' thousands separator, '$' currency).
#pragma once

#include <cstdint>
#include <string_view>

namespace tavirex {

// Val: the leading number of a text. Blanks, tabs and line feeds are skipped
// anywhere; "&H"/"&O" prefixes are read; only "." is a decimal point; never
// fails ("" and "abc" are 0).
double Val(std::string_view text);

// CInt/CLng of a number: rounds halves to even; 6 "Overflow" out of range.
std::int16_t CIntFromDouble(double value);
std::int32_t CLngFromDouble(double value);

// VarI2FromStr / VarI4FromStr (CInt, CLng of a string): blanks around the
// number, a leading or trailing sign, parentheses for negative, '$', ','
// thousands separators after the first digit, '.' decimal point, exponent,
// "&H"/"&O" (as the raw bit pattern: "&HFFFF" is -1 for CInt); then halves
// round to even. Throws VbError 13 "Type mismatch" when the text is not a
// number and 6 "Overflow" when it is out of range.
std::int16_t UsCIntFromString(std::string_view text);
std::int32_t UsCLngFromString(std::string_view text);

}  // namespace tavirex
