#include "winrules/command_line.h"

namespace tavirex {

std::vector<std::string> SplitWindowsCommandLine(std::string_view command_line) {
  std::vector<std::string> arguments;
  const std::size_t n = command_line.size();
  std::size_t i = 0;
  while (true) {
    while (i < n && (command_line[i] == ' ' || command_line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string argument;
    bool quoted = false;
    while (i < n) {
      char c = command_line[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        std::size_t run_end = command_line.find_first_not_of('\\', i);
        if (run_end == std::string_view::npos) run_end = n;
        std::size_t backslashes = run_end - i;
        if (run_end < n && command_line[run_end] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            argument.push_back('"');
            i = run_end + 1;
          } else {
            i = run_end;  // the quote opens or closes a quoted part
          }
        } else {
          argument.append(backslashes, '\\');
          i = run_end;
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && command_line[i + 1] == '"') {
          argument.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(c);
        ++i;
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

}  // namespace tavirex
