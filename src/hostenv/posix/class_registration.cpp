#include "hostenv/system.h"

namespace tavirex {

// POSIX has no class registry; the programs here create the class directly.
ClassRegistration FindClassRegistration(const std::string&) { return {}; }

}  // namespace tavirex
