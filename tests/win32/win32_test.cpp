// Win32Platform against the real APIs, with real files in temporary
// folders, and the shared rule rows put to the real calls the plug-in makes.
#include "hostenv/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "error_of.h"
#include "hostenv/system.h"
#include "plugin/outbox.h"
#include "rule_inputs.h"
#include "temp_folder.h"

namespace tavirex {
namespace {

using namespace rule_inputs;
using testing::TempFolder;

using testing::ErrorOf;

class Win32PlatformTest : public ::testing::Test {
 protected:
  std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  }
  void SetAttributes(const std::string& name, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(WideFromUtf8(temp_ / name).c_str(), attributes)) << name;
  }

  Win32Platform platform_;
  TempFolder temp_;
};

// The system's failures, sorted into the numbers VB's file-system object
// and Open statement raise.
TEST_F(Win32PlatformTest, FailuresRaiseTheVbNumbers) {
  const std::string file = temp_.Write("a.jpg", "a");
  const std::string locked = temp_.Write("locked.jpg", "l");
  const std::string read_only = temp_.Write("ro.jpg", "r");
  const std::string folder = temp_ / "dir";
  platform_.CreateFolder(folder);
  const std::string missing = temp_ / "none.jpg", nowhere = temp_ / "no\\x";
  SetAttributes("ro.jpg", FILE_ATTRIBUTE_READONLY);
  HANDLE held = CreateFileW(WideFromUtf8(locked).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Win32Platform& p = platform_;
  // clang-format off
  const std::pair<int, std::function<void()>> kRows[] = {
      {58, [&] { p.CreateFolder(folder); }},    {76, [&] { p.CreateFolder(nowhere); }},
      {76, [&] { p.FolderFileNames(file); }},   {76, [&] { p.FolderFileNames(temp_ / "none"); }},
      {53, [&] { p.CopyFile(missing, file); }}, {76, [&] { p.CopyFile(file, nowhere); }},
      {70, [&] { p.CopyFile(locked, missing); }},  {76, [&] { p.MoveReplacing(missing, file); }},
      {53, [&] { p.DeleteFile(missing); }},     {70, [&] { p.DeleteFile(locked); }},
      {70, [&] { p.DeleteFile(read_only); }},   {53, [&] { p.FlushFile(missing); }},
      {75, [&] { p.AppendToFile(folder, "a"); }}, {76, [&] { p.AppendToFile(nowhere, "a"); }},
      {70, [&] { p.AppendToFile(locked, "a"); }}, {53, [&] { p.SetCurrentDirectory(missing); }},
      {58, [&] { p.MoveFile(read_only, file); }},
      {76, [&] { p.AppendToFile(file + "\\x", "a"); }}};  // a file where a folder is wanted
  // clang-format on
  for (const auto& [number, action] : kRows)
    EXPECT_EQ(ErrorOf(action), number) << &action - &kRows[0].second;
  CloseHandle(held);
  EXPECT_TRUE(p.FileExists(read_only) && p.FileExists(locked));
}

TEST_F(Win32PlatformTest, FilesAndFolders) {
  // An export named outside the code page, moved as the import moves it,
  // onto an older copy.
  const std::string name = "4711_1042_Zoë Ω 東京 😀.jpg", stored = temp_ / name;
  const std::string exported = temp_.Write("Zoë Ω 東京 😀.jpg", "image");
  temp_.Write(name, "old");
  platform_.CopyFile(exported, stored);
  platform_.FlushFile(stored);
  platform_.DeleteFile(exported);
  EXPECT_EQ(temp_.Read(name), "image");
  EXPECT_FALSE(platform_.FileExists(exported) || platform_.FolderExists(stored));
  platform_.MoveReplacing(temp_.Write("b.tmp", "newer"), stored);
  EXPECT_EQ(temp_.Read(name), "newer");
  EXPECT_FALSE(platform_.FileExists(temp_ / "b.tmp"));

  // Listings: files only, hidden and system ones too; Dir skips those two
  // and takes folders.
  temp_.Write("hidden.jpg", "h");
  temp_.Write("system.jpg", "s");
  SetAttributes("hidden.jpg", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes("system.jpg", FILE_ATTRIBUTE_SYSTEM);
  platform_.CreateFolder(temp_ / "Łódź");
  EXPECT_TRUE(platform_.FolderExists(temp_ / "Łódź") && !platform_.FileExists(temp_ / "Łódź"));
  EXPECT_EQ(Sorted(platform_.FolderFileNames(temp_.path())),
            (std::vector<std::string>{name, "hidden.jpg", "system.jpg"}));
  std::vector<std::string> listed;
  platform_.ListDirectory(temp_ / "*", [&](const std::string& found) {
    listed.push_back(found);
    return true;
  });
  EXPECT_EQ(Sorted(listed), (std::vector<std::string>{name, "Łódź"}));

  // The log as Print # writes it: in the ANSI code page, at the end.
  platform_.AppendToFile(temp_ / "x.log", "\r\none\r\n");
  platform_.AppendToFile(temp_ / "x.log", "two Zoë Ω €\r\n");
  EXPECT_EQ(temp_.Read("x.log"), "\r\none\r\ntwo Zo\xeb O \x80\r\n");
}

TEST_F(Win32PlatformTest, ProfilesAndTheModule) {
  // Section, key and value pass through the ANSI code page; the value keeps
  // 254 characters; a missing file stays missing.
  const std::string ini = temp_.Write(
      "t.ini", "[M\xfcller]\r\nName=Zo\xeb \x80\r\nLong=" + std::string(300, 'v') + "\r\n");
  EXPECT_EQ(platform_.ReadProfileString("Müller", "Name", ini), "Zoë €");
  EXPECT_EQ(platform_.ReadProfileString("Müller", "Long", ini), std::string(254, 'v'));
  const std::string missing = temp_ / "missing.ini";
  EXPECT_EQ(platform_.ReadProfileString("System", "DataDir", missing), "");
  EXPECT_FALSE(platform_.FileExists(missing));
  char exe[MAX_PATH];
  const std::string exe_path(exe, GetModuleFileNameA(nullptr, exe, sizeof(exe)));
  EXPECT_EQ(platform_.ModuleFolder(), exe_path.substr(0, exe_path.rfind('\\')));
  EXPECT_EQ(platform_.DateSeparator(), "/");
}

// The host's component is created and called by name, as VB's CreateObject
// and a late-bound call do; the scripting file-system object stands in, its
// CreateFolder taking the server name.
TEST_F(Win32PlatformTest, ConnectHostServerCallsTheComponentLateBound) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const std::string fso = "Scripting.FileSystemObject", folder = temp_ / "SQL1 Zoë Ω";
  EXPECT_NE(platform_.ConnectHostServer(fso, "CreateFolder", folder), nullptr);
  EXPECT_TRUE(platform_.FolderExists(folder));
  EXPECT_EQ(ErrorOf([&] { platform_.ConnectHostServer(fso, "CreateFolder", folder); }), 58);
  EXPECT_EQ(ErrorOf([&] { platform_.ConnectHostServer(fso, "OpenServer", "x"); }), 438);
  EXPECT_EQ(ErrorOf([&] { platform_.ConnectHostServer("Tavirex.NoSuchClass", "Open", "x"); }), 429);
  CoUninitialize();
}

// The boxes the plug-in shows keep their buttons and their icon, in front of
// the host.
TEST(Win32Boxes, StylesKeepTheirButtonsAndIcon) {
  using namespace msgbox;
  for (const auto& [style, flags] : {std::pair<int, UINT>{kOkOnly, MB_OK},
                                     {kOkCancel, MB_OKCANCEL},
                                     {kYesNo, MB_YESNO},
                                     {kCritical, MB_OK | MB_ICONHAND},
                                     {kYesNo | kCritical, MB_YESNO | MB_ICONHAND}}) {
    EXPECT_EQ(MessageBoxFlags(style), flags | MB_SETFOREGROUND) << style;
  }
}

// The edges of the text conversions: every BSTR back unchanged (lone
// surrogates, NULs), the best fit and '?' of the code page.
TEST(Win32Text, Utf8BstrAndAnsi) {
  for (const std::wstring& wide :
       {std::wstring(L"Zoë Ω 東京 😀"), std::wstring(L"\xdc00\xd800x"), std::wstring(L"a\0b", 3)}) {
    BSTR bstr = BstrFromUtf8(Utf8FromWide(wide));
    EXPECT_EQ(std::wstring(bstr, SysStringLen(bstr)), wide);
    EXPECT_EQ(WideFromUtf8(Utf8FromBstr(bstr)), wide);
    SysFreeString(bstr);
  }
  EXPECT_EQ(Utf8FromBstr(nullptr), "");
  EXPECT_EQ(AnsiFromUtf8("Zoë Ω € 東"), "Zo\xeb O \x80 ?");
  EXPECT_EQ(Utf8FromAnsi("Zo\xeb \x80 \x81"), "Zoë € \u0081");
}

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

// What any user learns from the service manager, of Wine's own services: one
// started with the system, one that waits to be asked.
TEST(RealWindowsCalls, ServiceManager) {
  using State = ServiceStatus::State;
  const std::pair<const char*, State> kRows[] = {{"tavirex-no-such-service", State::kNotInstalled},
                                                 {"PlugPlay", State::kRunning},
                                                 {"StiSvc", State::kStopped}};
  for (const auto& [name, state] : kRows) {
    const ServiceStatus status = FindService(name);
    EXPECT_EQ(status.state, state) << name << ": " << status.why;
  }
}

// Run apart, on a day-month-year workstation (LC_ALL=en_GB.UTF-8): the
// outbox job's birth date is DateOfBirth as the workstation reads it, and only
// a whole date of the past.
TEST(DayMonthYearWorkstation, OutboxJobBirthDates) {
  Win32Platform platform;
  const std::pair<const char*, const char*> kRows[] = {{"03/04/1958", "1958-04-03"},
                                                       {"3/4/1958", "1958-04-03"},
                                                       {"1958-04-03", "1958-04-03"},
                                                       {"3/4", ""},
                                                       {"03/04/25", ""},
                                                       {"12:30", ""},
                                                       {"03/04/1958 12:30", ""},
                                                       {"03/04/2999", ""},
                                                       {"April 1958", ""},
                                                       {"text", ""}};
  for (const auto& [text, iso] : kRows) EXPECT_EQ(IsoBirthDate(platform, text), iso) << text;
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
  for (std::size_t at = 0, end; (end = output.find('\0', at)) != std::string::npos; at = end + 1) {
    arguments.push_back(output.substr(at, end - at));
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
