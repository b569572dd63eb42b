// What the command-line programs share: the tools and the forwarder.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tavirex::cli {

// " (did you mean X?)" for the candidate nearest to `name` (at most two
// insertions, deletions or changes, case ignored), or "".
std::string DidYouMean(std::string_view name, const std::vector<std::string>& candidates);

// Parses `args` (without the program name): nullopt to run it, else the exit
// code once the help, the version or why it is refused was printed.
std::optional<int> ParseCommandLine(CLI::App& app, const std::vector<std::string>& args,
                                    std::ostream& out, std::ostream& err, int refused);

}  // namespace tavirex::cli
