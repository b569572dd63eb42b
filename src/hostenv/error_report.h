// The error file, the plain log and the host's progress log, all beside the
// plug-in's module, and the critical message box that reports a failure.
#pragma once

#include <string>

#include "hostenv/platform.h"
#include "winrules/vb_error.h"

namespace tavirex {

inline constexpr const char* kErrorFileName = "PX_IF_Tavirex.err";
inline constexpr const char* kLogFileName = "Tavirex.log";
inline constexpr const char* kHostLogFileName = "KR_Tavirex.log";
inline constexpr const char* kErrorBoxTitle = "PXEquipIF TavirexIF Error";

// "MM-DD-YYYY" + two blanks + the regional time of day.
std::string LogTimeStamp(Platform& platform);

// Shows the failure in a critical box, then appends it to the error file.
// Catches nothing: a failure to write the file reaches the caller.
void ReportError(Platform& platform, const std::string& where, const VbError& failure);

// Appends the failure to the error file only, for failures the user is not
// told about. Catches nothing.
void AppendErrorEntry(Platform& platform, const std::string& where, const VbError& failure);

// Appends one entry to the plain log. Catches nothing.
void AppendToLog(Platform& platform, const std::string& text);

// One entry of the host's progress log (the gate is the caller's).
void AppendToHostLog(Platform& platform, const std::string& text);

}  // namespace tavirex
