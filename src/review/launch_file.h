// Opening a stored image file in the program the workstation associates with
// its type, with a message for the user when the shell cannot.
#pragma once

#include <cstdint>
#include <string>

#include "hostenv/platform.h"

namespace tavirex {

inline constexpr const char* kWasOk = "Was OK";

// "Was OK" when the shell started the viewer, otherwise the message to show;
// "" after a failure of its own, which it reports.
std::string LaunchFile(Platform& platform, const std::string& path, std::uintptr_t owner_window);

}  // namespace tavirex
