// Win32Platform against the real APIs, with real files in temporary folders.
#include "hostenv/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "temp_folder.h"

namespace tavirex {
namespace {

using testing::TempFolder;

int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const VbError& failure) {
    return failure.number();
  }
  return 0;
}

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
      {70, [&] { p.AppendToFile(locked, "a"); }}, {53, [&] { p.SetCurrentDirectory(missing); }}};
  // clang-format on
  for (const auto& [number, action] : kRows)
    EXPECT_EQ(ErrorOf(action), number) << &action - &kRows[0].second;
  CloseHandle(held);
  EXPECT_TRUE(p.FileExists(read_only));
  EXPECT_TRUE(p.FileExists(locked));
}

TEST_F(Win32PlatformTest, FilesAndFolders) {
  // An export named outside the code page, moved as the import moves it.
  const std::string exported = temp_.Write("Zoë Ω 東京 😀.jpg", "image");
  const std::string stored = temp_ / "4711_1042_Zoë Ω 東京 😀.jpg";
  temp_.Write("4711_1042_Zoë Ω 東京 😀.jpg", "old");
  platform_.CopyFile(exported, stored);
  platform_.FlushFile(stored);
  platform_.DeleteFile(exported);
  EXPECT_EQ(temp_.Read("4711_1042_Zoë Ω 東京 😀.jpg"), "image");
  EXPECT_FALSE(platform_.FileExists(exported));
  platform_.MoveReplacing(temp_.Write("b.tmp", "newer"), stored);
  EXPECT_EQ(temp_.Read("4711_1042_Zoë Ω 東京 😀.jpg"), "newer");
  EXPECT_FALSE(platform_.FileExists(temp_ / "b.tmp"));

  // Listings: files only, hidden and system ones too; Dir skips those two
  // and takes folders; a visit that answers false ends it.
  temp_.Write("hidden.jpg", "h");
  temp_.Write("system.jpg", "s");
  SetAttributes("hidden.jpg", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes("system.jpg", FILE_ATTRIBUTE_SYSTEM);
  platform_.CreateFolder(temp_ / "Łódź");
  EXPECT_TRUE(platform_.FolderExists(temp_ / "ŁÓDŹ"));
  EXPECT_FALSE(platform_.FileExists(temp_ / "Łódź"));
  EXPECT_FALSE(platform_.FolderExists(stored));
  EXPECT_EQ(Sorted(platform_.FolderFileNames(temp_.path())),
            (std::vector<std::string>{"4711_1042_Zoë Ω 東京 😀.jpg", "hidden.jpg", "system.jpg"}));
  std::vector<std::string> listed;
  platform_.ListDirectory(temp_ / "*", [&](const std::string& name) {
    listed.push_back(name);
    return true;
  });
  EXPECT_EQ(Sorted(listed), (std::vector<std::string>{"4711_1042_Zoë Ω 東京 😀.jpg", "Łódź"}));
  int visits = 0;
  platform_.ListDirectory(temp_ / "*", [&](const std::string&) { return ++visits < 1; });
  EXPECT_EQ(visits, 1);
  EXPECT_TRUE(platform_.FolderFileNames(temp_ / "Łódź").empty());

  // The log as Print # writes it: in the ANSI code page, at the end.
  platform_.AppendToFile(temp_ / "x.log", "\r\none\r\n");
  platform_.AppendToFile(temp_ / "x.log", "two Zoë Ω €\r\n");
  EXPECT_EQ(temp_.Read("x.log"), "\r\none\r\ntwo Zo\xeb O \x80\r\n");
}

TEST_F(Win32PlatformTest, ProfilesAndProcessServices) {
  // Section, key and value pass through the ANSI code page; the value keeps
  // 254 characters; a missing file stays missing.
  const std::string ini = temp_.Write(
      "t.ini", "[M\xfcller]\r\nName=Zo\xeb \x80\r\nLong=" + std::string(300, 'v') + "\r\n");
  EXPECT_EQ(platform_.ReadProfileString("Müller", "Name", ini), "Zoë €");
  EXPECT_EQ(platform_.ReadProfileString("Müller", "Long", ini), std::string(254, 'v'));
  const std::string missing = temp_ / "missing.ini";
  EXPECT_EQ(platform_.ReadProfileString("System", "DataDir", missing), "");
  EXPECT_FALSE(platform_.FileExists(missing));
  wchar_t windows[MAX_PATH];
  const std::wstring_view windows_folder(windows, GetWindowsDirectoryW(windows, MAX_PATH));
  EXPECT_EQ(platform_.ProfileFilePath("PXEquip.ini"),
            Utf8FromWide(windows_folder) + "\\PXEquip.ini");
  EXPECT_EQ(platform_.ProfileFilePath("C:\\x\\PXEquip.ini"), "C:\\x\\PXEquip.ini");
  char exe[MAX_PATH];
  const std::string exe_path(exe, GetModuleFileNameA(nullptr, exe, sizeof(exe)));
  EXPECT_EQ(platform_.ModuleFolder(), exe_path.substr(0, exe_path.rfind('\\')));
  EXPECT_EQ(platform_.DateSeparator(), "/");

  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  const std::string folder = temp_ / "Ω 東京";
  platform_.CreateFolder(folder);
  platform_.SetCurrentDirectory(folder);
  wchar_t current[MAX_PATH];
  const std::string now =
      Utf8FromWide(std::wstring_view(current, GetCurrentDirectoryW(MAX_PATH, current)));
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(now, folder);

  // Failures come back as the shell's codes; nothing is started.
  EXPECT_EQ(platform_.ShellExecute(0, "open", temp_ / "missing.jpg", "", "", 0), 2);
  EXPECT_EQ(platform_.ShellExecute(0, "open", temp_.Write("x.tavirexnoassoc", "x"), "", "", 0), 31);
}

// The edges of the text conversions: every BSTR back unchanged, the best
// fit and '?' of the code page.
TEST(Win32Text, Utf8BstrAndAnsi) {
  for (const std::wstring& wide : {std::wstring(L"Zoë Ω 東京 😀"), std::wstring(L"\xdc00\xd800x"),
                                   std::wstring(L"a\0b", 3), std::wstring()}) {
    BSTR bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    const std::string text = Utf8FromBstr(bstr);
    BSTR again = BstrFromUtf8(text);
    EXPECT_EQ(std::wstring(again, SysStringLen(again)), wide);
    EXPECT_EQ(WideFromUtf8(text), wide);
    SysFreeString(again);
    SysFreeString(bstr);
  }
  EXPECT_EQ(Utf8FromBstr(nullptr), "");
  EXPECT_EQ(AnsiFromUtf8("Zoë Ω € 東"), "Zo\xeb O \x80 ?");
  EXPECT_EQ(Utf8FromAnsi("Zo\xeb \x80 \x81"), "Zoë € \u0081");
  EXPECT_EQ(AnsiFromUtf8(""), "");
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

}  // namespace
}  // namespace tavirex
