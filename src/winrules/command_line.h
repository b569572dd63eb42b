// Command lines as the Microsoft C runtime splits them into argv.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavirex {

// The arguments a program built with the Microsoft C runtime receives for
// `command_line` (the parameters after the program name): blanks and tabs
// separate arguments outside double quotes; 2n backslashes before a quote
// give n backslashes and the quote opens or closes a quoted part; 2n+1 give n
// backslashes and a literal quote; other backslashes are literal; "" inside a
// quoted part is a literal quote. "" alone is an empty argument.
std::vector<std::string> SplitWindowsCommandLine(std::string_view command_line);

}  // namespace tavirex
