// Stand-in for the host's server-connection component: every well-formed
// ProgID or {CLSID} counts as registered, any other class name gives 429.
#include "hostenv/posix/posix_platform.h"

#include <cctype>

#include "winrules/vb_error.h"

namespace tavirex {
namespace {

// A name CLSIDFromString resolves when it is registered: a class identifier
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" or a ProgID (a letter, then
// letters, digits and periods, at most 39 characters).
bool IsClassName(std::string_view name) {
  if (!name.empty() && name.front() == '{') {
    constexpr std::string_view kForm = "{hhhhhhhh-hhhh-hhhh-hhhh-hhhhhhhhhhhh}";
    if (name.size() != kForm.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
      const bool hex = std::isxdigit(static_cast<unsigned char>(name[i])) != 0;
      if (kForm[i] == 'h' ? !hex : name[i] != kForm[i]) return false;
    }
    return true;
  }
  if (name.empty() || name.size() > 39 || !std::isalpha(static_cast<unsigned char>(name[0]))) {
    return false;
  }
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.') return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<void> PosixPlatform::ConnectHostServer(const std::string& component_class,
                                                       const std::string& /*method*/,
                                                       const std::string& server_name) {
  if (!IsClassName(component_class)) throw VbError(vberr::kCantCreateObject);
  return std::make_shared<std::string>(server_name);  // stands for the component
}

}  // namespace tavirex
