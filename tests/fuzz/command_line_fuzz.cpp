// The command-line split of the C runtime. Input: the command line.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "winrules/command_line.h"

using tavirex::SplitWindowsCommandLine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = SplitWindowsCommandLine(line);

  // Each argument quoted so that the C runtime gives it back: inside double
  // quotes, backslashes doubled before a quote and at the end.
  std::string quoted;
  for (const std::string& argument : arguments) {
    quoted += quoted.empty() ? "\"" : " \"";
    std::size_t backslashes = 0;
    for (char c : argument) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
  }
  FUZZ_CHECK(SplitWindowsCommandLine(quoted) == arguments, "quoted again: %s", quoted.c_str());
  // Blanks before the line separate nothing.
  FUZZ_CHECK(SplitWindowsCommandLine(" \t" + std::string(line)) == arguments, "leading blanks");
  return 0;
}
