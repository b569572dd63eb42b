// Stand-in for the host's server-connection component: every well-formed
// ProgID or {CLSID} counts as registered, any other class name gives 429.
#include "hostenv/posix/posix_platform.h"

#include "winrules/class_name.h"
#include "winrules/vb_error.h"

namespace tavirex {

std::shared_ptr<void> PosixPlatform::ConnectHostServer(const std::string& component_class,
                                                       const std::string& /*method*/,
                                                       const std::string& server_name) {
  if (!IsClassName(component_class)) throw VbError(vberr::kCantCreateObject);
  return std::make_shared<std::string>(server_name);  // stands for the component
}

}  // namespace tavirex
