// tavirex-host: drives one clsTavirex object the way the host program does
// (start-up, construction, properties, operations) and prints what it sees.
// Used by IT to check a workstation, and by the demo run.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/host/driver.h"

namespace tavirex::host {

inline constexpr int kExitOk = 0;
inline constexpr int kExitStepFailed = 1;  // a step failed: a failed call, or "" for "Was OK"
inline constexpr int kExitRefused = 2;     // the command line was refused: nothing was run
inline constexpr int kExitNoObject = 3;    // the object could not be created

// Runs one command line (without the program name); returns the exit code.
// Every step is checked before the object is created.
int RunHostTool(const std::vector<std::string>& args, const DriverFactory& factory,
                std::ostream& out, std::ostream& err);

}  // namespace tavirex::host
