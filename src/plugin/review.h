// The review workflow's pieces that stand on their own: the wildcard pattern
// that finds a patient's stored image files in a folder (the listing ignores
// case, so each name found is then tested by IsPatientFile), and opening one
// in the program the workstation associates with its type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostenv/platform.h"
#include "vocabulary/stored_name.h"

namespace tavirex {

// folder + "\" + PatID + "_*.*" (C:\img\4711_*.*).
std::string PatientFilePattern(std::string_view folder, std::string_view PatID);

// "Was OK" when the shell started the viewer, otherwise the message to show;
// "" after a failure of its own, which it reports.
std::string LaunchFile(Platform& platform, const std::string& path, std::uintptr_t owner_window);

}  // namespace tavirex
