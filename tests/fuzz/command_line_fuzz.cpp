// The command-line split of the C runtime. Input: the command line.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "winrules/command_line.h"

namespace {

// One argument quoted so that the C runtime gives it back unchanged: inside
// double quotes, backslashes are doubled before a quote and at the end.
std::string Quote(const std::string& argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view command_line = tavirex::fuzz::AsText(data, size);
  const std::vector<std::string> arguments = tavirex::SplitWindowsCommandLine(command_line);

  std::string joined;
  for (const std::string& argument : arguments) {
    FUZZ_CHECK(argument.size() <= command_line.size(), "argument longer than the line");
    if (!joined.empty()) joined += ' ';
    joined += Quote(argument);
  }
  FUZZ_CHECK(tavirex::SplitWindowsCommandLine(joined) == arguments, "quoted again: %s",
             joined.c_str());
  // Blanks around the line separate nothing.
  FUZZ_CHECK(tavirex::SplitWindowsCommandLine(" \t" + std::string(command_line)) == arguments,
             "leading blanks");
  return 0;
}
