// The shared rule rows put to the real Windows calls the plug-in makes.
#include <gtest/gtest.h>

#include "hostenv/win32/win32_platform.h"
#include "rule_inputs.h"
#include "temp_folder.h"

namespace tavirex {
namespace {

using namespace rule_inputs;
using testing::TempFolder;

TEST(RealWindowsCalls, GetPrivateProfileStringA) {
  TempFolder temp;
  int n = 0;
  for (const ProfileRow& row : ProfileRows()) {
    // A new file per row: the profile API caches the file it read last.
    const std::string path = temp.Write("rule" + std::to_string(++n) + ".ini", row.file);
    char buffer[255];
    const DWORD copied =
        GetPrivateProfileStringA(row.section, row.key, "", buffer, sizeof(buffer), path.c_str());
    EXPECT_EQ(std::string(buffer, copied), row.value)
        << row.section << "/" << row.key << " in " << row.file;
  }
}

TEST(RealWindowsCalls, DirectoryListing) {
  TempFolder temp;
  for (const WildcardRow& row : kWildcardRows) temp.Write(row.name, "x");
  Win32Platform platform;
  for (const WildcardRow& row : kWildcardRows) {
    bool found = false;
    platform.ListDirectory(temp / row.pattern, [&](const std::string& name) {
      found = found || name == row.name;
      return true;
    });
    EXPECT_EQ(found, row.found) << row.pattern << " " << row.name;
  }
}

TEST(RealWindowsCalls, OleAutomationNumbersAndDates) {
  Win32Platform platform;
  for (const NumberRow& row : kNumberRows) {
    EXPECT_EQ(NumberOf([&] { return platform.CIntFromString(row.text); }), row.cint) << row.text;
    EXPECT_EQ(NumberOf([&] { return platform.CLngFromString(row.text); }), row.clng) << row.text;
  }
  for (const DateRow& row : kDateRows) {
    EXPECT_EQ(SecondsOf(platform.ParseDate(row.text)), row.seconds) << row.text;
  }
  for (const FormatRow& row : kFormatRows) {
    EXPECT_EQ(platform.FormatGeneralDate(row.date), row.general);
    EXPECT_EQ(platform.FormatShortDate(row.date), row.short_date);
    EXPECT_EQ(platform.FormatTimeOfDay(row.date), row.long_time);
  }
}

// The arguments the C runtime of a started program splits from `line`.
std::vector<std::string> ChildArguments(const std::string& line) {
  static const std::string echo = Win32Platform().ModuleFolder() + "\\win32_argv_echo.exe";
  TempFolder temp;
  std::string command = "\"" + echo + "\" \"" + temp / "argv" + "\" " + line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(echo.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return {"<not started>"};
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  const std::string output = temp.Read("argv");
  std::vector<std::string> arguments;
  for (std::size_t at = 0, colon; (colon = output.find(':', at)) != std::string::npos;) {
    const std::size_t length = std::stoul(output.substr(at, colon - at));
    arguments.push_back(output.substr(colon + 1, length));
    at = colon + 1 + length;
  }
  return arguments;
}

TEST(RealWindowsCalls, CRuntimeCommandLineSplit) {
  for (const CommandLineRow& row : kCommandLineRows) {
    EXPECT_EQ(ChildArguments(row.line), row.arguments) << row.line;
  }
}

}  // namespace
}  // namespace tavirex
