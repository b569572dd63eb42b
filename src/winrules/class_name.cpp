#include "winrules/class_name.h"

#include <cctype>

namespace tavirex {

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

}  // namespace tavirex
