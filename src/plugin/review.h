// The review workflow's pieces that stand on their own: a patient's stored
// image files (the wildcard pattern that finds them in a folder and the test
// on the key in front of the first "_", which the pattern alone cannot make
// because the listing ignores case), and opening one in the program the
// workstation associates with its type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostenv/platform.h"

namespace tavirex {

// folder + "\" + PatID + "_*.*" (C:\img\4711_*.*).
std::string PatientFilePattern(std::string_view folder, std::string_view PatID);

// True when the name's field 0, the text before its first "_", is PatID
// exactly (case-sensitive).
bool IsPatientFile(std::string_view name, std::string_view PatID);

// "Was OK" when the shell started the viewer, otherwise the message to show;
// "" after a failure of its own, which it reports.
std::string LaunchFile(Platform& platform, const std::string& path, std::uintptr_t owner_window);

}  // namespace tavirex
