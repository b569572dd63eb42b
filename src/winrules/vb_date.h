// VB's Date type: its calendar, and the regional formats and parse of OLE
// Automation under the US English settings (short date M/d/yyyy, long time
// h:mm:ss tt): what CStr, CDate and IsDate give on such a workstation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "winrules/vb_types.h"

namespace tavirex {

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

// VarBstrFromDate: "12/5/2026 4:12:40 PM"; the short date alone when the time
// is zero, the long time alone when the day is zero (12/30/1899).
std::string UsFormatGeneralDate(VbDate date);
// "12/5/2026".
std::string UsFormatShortDate(VbDate date);
// "4:12:40 PM", "12:00:00 AM".
std::string UsFormatLongTime(VbDate date);

// VarDateFromStr: "1/2/1970", "1970-1-13", "2 Jan 1970", "2-Jan-1970",
// "Thursday, June 30, 2011", "6/30/2011 01:20:34 PM", "4:12 pm", "2.5" (the
// time 2:05). The US order month/day/year is tried first, then the orders that
// give a valid date ("13-1-1970" is 13 January). Two numbers are month and day
// of the current year, or month and year. Two-digit years fall in 1950..2049
// (as on Windows 10 1903 and later, and Wine). "0.0" and "20160531"
// are not dates. Day names are skipped; only English month and day names are
// known. nullopt when the text is not a date.
std::optional<VbDate> UsParseDate(std::string_view text);
// The same with the year taken for dates given without one.
std::optional<VbDate> UsParseDate(std::string_view text, int current_year);

}  // namespace tavirex
