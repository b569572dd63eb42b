// Name matching of the Windows directory listing (FindFirstFileA, VB's Dir).
#pragma once

#include <string_view>

namespace tavirex {

// True when `name` matches the DOS wildcard `pattern`, without regard to case
// (ASCII and Windows-1252 letters).
//
// The pattern is rewritten as Windows does before matching: "*.*" means "*";
// '?' matches one character other than '.', or nothing before a '.' or the end
// of the name; a '.' followed by '*' or '?' or ending the pattern matches a '.'
// or the end of the name; a '*' followed by '.' matches up to the name's last
// '.'. So "4711_*.*" matches "4711_a", "4711_a.jpg", "4711_a.b.c" and "4711_",
// and "*." matches names without an extension. Short 8.3 names are not
// matched. Runs in time proportional to pattern length times name length.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace tavirex
