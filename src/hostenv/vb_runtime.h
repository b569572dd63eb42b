// The VB runtime functions the workflows use that need no platform: Val,
// CInt/CLng of a number, Replace, Split, and the calendar of VB's Date type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hostenv/platform.h"

namespace tavirex {

// Val: the leading number of a text. Blanks, tabs and line feeds are skipped
// anywhere; "&H"/"&O" prefixes are read; only "." is a decimal point; never
// fails ("" and "abc" are 0).
double Val(std::string_view text);

// CInt/CLng of a number: rounds halves to even; 6 "Overflow" out of range.
std::int16_t CIntFromDouble(double value);
std::int32_t CLngFromDouble(double value);

// Replace(text, find, with): every occurrence, left to right, case-sensitive.
std::string Replace(std::string_view text, std::string_view find, std::string_view with);

// Split(text, separator): "" gives one empty field, as in VB.
std::vector<std::string> Split(std::string_view text, char separator);

// Field i of a Split result; 9 "Subscript out of range" past the end.
const std::string& Field(const std::vector<std::string>& fields, std::size_t index);

// Upper case of ASCII letters (UCase for the texts this plug-in compares).
std::string UpperAscii(std::string_view text);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

struct CivilDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

CivilDateTime ToCivil(VbDate date);
VbDate FromCivil(const CivilDateTime& civil);
// Day, time or both present, as VB's general date format decides.
bool HasDatePart(VbDate date);
bool HasTimePart(VbDate date);

// Two digits with a leading zero ("05").
std::string TwoDigits(int value);

}  // namespace tavirex
