// What CLSIDFromString resolves when it is registered: a class identifier
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" or a ProgID (a letter, then
// letters, digits and periods, at most 39 characters).
#pragma once

#include <string_view>

namespace tavirex {

bool IsClassName(std::string_view name);

}  // namespace tavirex
