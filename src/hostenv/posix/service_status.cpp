#include "hostenv/system.h"

namespace tavirex {

// POSIX has no service manager of the Windows kind; systemd units are not looked up.
ServiceStatus FindService(const std::string&) { return {}; }

}  // namespace tavirex
