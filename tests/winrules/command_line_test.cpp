#include "winrules/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavirex {
namespace {

TEST(SplitWindowsCommandLineTest, MicrosoftRuntimeRules) {
  struct Case {
    const char* line;
    std::vector<std::string> arguments;
  };
  const Case kCases[] = {
      {"", {}},
      {" \t ", {}},
      {"a  b\tc", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\"", {""}},
      {"\"\" x", {"", "x"}},
      {R"(C:\dir\file.txt)", {R"(C:\dir\file.txt)"}},
      {R"(a\"b)", {R"(a"b)"}},        // 1 backslash + quote: literal quote
      {R"(a\\"b c")", {R"(a\b c)"}},  // 2 backslashes + quote: one, and a quote
      {R"(a\\\"b)", {R"(a\"b)"}},     // 3: one backslash and a literal quote
      {R"("C:\dir\\" x)", {R"(C:\dir\)", "x"}},
      {R"("a""b")", {R"(a"b)"}},  // "" inside quotes
      {"\"open x", {"open x"}},
      {R"(4711 "Doe, John" "" M 1/2/1970)", {"4711", "Doe, John", "", "M", "1/2/1970"}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(SplitWindowsCommandLine(c.line), c.arguments) << c.line;
  }
}

}  // namespace
}  // namespace tavirex
