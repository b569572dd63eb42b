// What the two tools share on their command lines: the nearest name to a
// misspelt one, and one way to answer an unknown command or option.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tavirex::tools {

// The candidate nearest to `name` (at most two insertions, deletions or
// changes, case ignored); "" when none is that close.
std::string Nearest(std::string_view name, const std::vector<std::string>& candidates);
// " (did you mean X?)", or "".
std::string DidYouMean(std::string_view name, const std::vector<std::string>& candidates);

// Parses `args` (without the program name). nullopt when the command line is
// to be run; else the exit code, after the help, the version or the reason
// for refusing it (an unknown command or option with the nearest one) was
// printed.
std::optional<int> ParseCommandLine(CLI::App& app, const std::vector<std::string>& args,
                                    std::ostream& out, std::ostream& err, int refused);

}  // namespace tavirex::tools
