#include "hostenv/posix/posix_platform.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "winrules/vb_error.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  for (int i = 0; i < 500 && !fs::exists(path); ++i) {  // a started program may still write it
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes, fs::perms perms = fs::perms::none) {
  std::ofstream(path, std::ios::binary) << bytes;
  if (perms != fs::perms::none) fs::permissions(path, perms);
}

int ErrorOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const VbError& e) {
    return e.number();
  }
  return 0;
}

// A drive C in a fresh temporary folder with its Windows directory, and
// services whose user is scripted.
class PosixPlatformTest : public ::testing::Test {
 protected:
  PosixPlatformTest() {
    fs::create_directories(root_ / "img");
    fs::create_directories(root_ / "windows");
  }
  ~PosixPlatformTest() override { fs::remove_all(root_); }

  // A launched program that records its arguments and working folder.
  void RecordingScript(const fs::path& script, const fs::path& record) {
    const std::string to = "'" + record.string();
    WriteFile(script,
              "#!/bin/sh\n{ printf '%s\\n' \"$@\"; pwd; } > " + to + ".tmp'\nmv " + to + ".tmp' " +
                  to + "'\n",
              fs::perms::owner_all);
  }
  std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  }

  const fs::path root_ = fs::temp_directory_path() / ("tavirex-posix-" + std::to_string(getpid()));
  PosixPlatform platform_{{.windows_dir = {},  // C:\windows of the drive map
                           .module_dir = root_.string(),
                           .drive_roots = {{'c', root_.string() + "/"}},
                           .interactive = false,
                           .message_box_answers = {}}};
};

TEST_F(PosixPlatformTest, WindowsPathsAndProfiles) {
  PosixPlatform plain{PosixPlatformOptions{}};
  EXPECT_EQ(plain.ToNativePath(R"(C:\KSOCTVIEW\bin\x.exe)"), "/KSOCTVIEW/bin/x.exe");
  EXPECT_EQ(plain.ToNativePath("D:"), "/");
  EXPECT_EQ(plain.ToNativePath(R"(img\a.jpg)"), "img/a.jpg");
  EXPECT_EQ(platform_.ToNativePath(R"(c:\img\a.jpg)"), root_.string() + "/img/a.jpg");
  // A name without folder is in C:\windows; names and value in Windows-1252.
  WriteFile(root_ / "windows" / "pxequip.ini", "[M\xfcller]\nZo\xeb=\x80 Gr\xfc\xdf\n");
  EXPECT_EQ(platform_.ReadProfileString("MÜLLER", "zoË", "PXEquip.ini"), "€ Grüß");
  EXPECT_EQ(platform_.ProfileFilePath("PXEQUIP.INI"), (root_ / "windows" / "pxequip.ini").string());
  WriteFile(root_ / "other.ini", "[s]\nk=" + std::string(300, 'v') + "\n");
  EXPECT_EQ(platform_.ReadProfileString("s", "k", R"(C:\other.ini)"), std::string(254, 'v'));
  EXPECT_EQ(platform_.ReadProfileString("s", "k", "missing.ini"), "");
  EXPECT_FALSE(fs::exists(root_ / "windows" / "missing.ini"));
}

// errno sorted into the numbers VB's file-system object and Open statement
// raise; read-only files refuse even root.
TEST_F(PosixPlatformTest, FailuresRaiseTheVbNumbers) {
  WriteFile(root_ / "img" / "a.jpg", "new");
  WriteFile(root_ / "img" / "ro.jpg", "old", fs::perms::owner_read | fs::perms::group_read);
  PosixPlatform& p = platform_;
  const std::pair<int, std::function<void()>> kRows[] = {
      {58, [&] { p.CreateFolder(R"(C:\img)"); }},
      {76, [&] { p.CreateFolder(R"(C:\no\img)"); }},
      {76, [&] { p.FolderFileNames(R"(C:\none)"); }},
      {53, [&] { p.CopyFile(R"(C:\img\none.jpg)", R"(C:\img\b.jpg)"); }},
      {76, [&] { p.CopyFile(R"(C:\img\a.jpg)", R"(C:\no\b.jpg)"); }},
      {70, [&] { p.CopyFile(R"(C:\img\a.jpg)", R"(C:\img\ro.jpg)"); }},
      {53, [&] { p.DeleteFile(R"(C:\img\none.jpg)"); }},
      {70, [&] { p.DeleteFile(R"(C:\img\ro.jpg)"); }},
      {53, [&] { p.FlushFile(R"(C:\img\none.jpg)"); }},
      {76, [&] { p.AppendToFile(R"(C:\no\log.txt)", "x"); }},
      {75, [&] { p.AppendToFile(R"(C:\img\ro.jpg)", "x"); }},
      {76, [&] { p.SetCurrentDirectory(R"(C:\none)"); }},
  };
  for (const auto& [number, action] : kRows) {
    EXPECT_EQ(ErrorOf(action), number) << "row " << &action - &kRows[0].second;
  }
  EXPECT_EQ(ReadFile(root_ / "img" / "ro.jpg"), "old");
}

TEST_F(PosixPlatformTest, FilesAndFolders) {
  // Copies replace and keep read-only; the log as Print # writes it.
  WriteFile(root_ / "img" / "a.jpg", "new");
  WriteFile(root_ / "img" / "rw.jpg", "old");
  WriteFile(root_ / "img" / "ro.jpg", "old", fs::perms::owner_read);
  platform_.CopyFile(R"(C:\img\a.jpg)", R"(C:\img\rw.jpg)");
  EXPECT_EQ(ReadFile(root_ / "img" / "rw.jpg"), "new");
  platform_.CopyFile(R"(C:\img\ro.jpg)", R"(C:\img\ro2.jpg)");
  EXPECT_EQ(fs::status(root_ / "img" / "ro2.jpg").permissions() & fs::perms::owner_write,
            fs::perms::none);
  platform_.FlushFile(R"(C:\img\ro2.jpg)");
  platform_.DeleteFile(R"(C:\img\a.jpg)");
  EXPECT_FALSE(platform_.FileExists(R"(C:\img\a.jpg)"));
  platform_.AppendToFile(R"(C:\img\log.txt)", "one\r\n");
  platform_.AppendToFile(R"(C:\img\log.txt)", "two Zoë Ω\r\n");
  EXPECT_EQ(ReadFile(root_ / "img" / "log.txt"), "one\r\ntwo Zo\xeb ?\r\n");
  EXPECT_FALSE(platform_.FileExists(R"(C:\img)"));
  EXPECT_FALSE(platform_.FolderExists(R"(C:\img\rw.jpg)"));

  // Listings: files with hidden ones and links, no folders and no copy
  // leftovers; Dir takes folders, skips hidden names, stops when told.
  fs::create_directories(root_ / "img" / "4711_sub");
  WriteFile(root_ / "img" / ".4711_hidden.jpg", "h");
  WriteFile(root_ / "img" / "4711_Ωμέγα.jpg", "x");
  fs::create_symlink(root_ / "img" / "rw.jpg", root_ / "img" / "4711_link.JPG");
  fs::create_directory_symlink(root_ / "img" / "4711_sub", root_ / "img" / "sublink");
  EXPECT_EQ(Sorted(platform_.FolderFileNames(R"(C:\img)")),
            (std::vector<std::string>{".4711_hidden.jpg", "4711_link.JPG", "4711_Ωμέγα.jpg",
                                      "log.txt", "ro.jpg", "ro2.jpg", "rw.jpg"}));
  std::vector<std::string> listed;
  platform_.ListDirectory(R"(C:\img\4711_*)", [&](const std::string& name) {
    listed.push_back(name);
    return true;
  });
  EXPECT_EQ(Sorted(listed),
            (std::vector<std::string>{"4711_link.JPG", "4711_sub", "4711_Ωμέγα.jpg"}));
  int visits = 0;
  platform_.ListDirectory(R"(C:\img\4711_ΩΜΈΓΑ.*)",
                          [&](const std::string&) { return ++visits < 0; });
  EXPECT_EQ(visits, 1);
}

// Whole copies whichever way the bytes go: in the kernel over several
// chunks, from a file whose size the file system does not tell, and across
// file systems.
TEST_F(PosixPlatformTest, CopyFileCopiesEveryByte) {
  std::string image(2'500'000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 % 251);
  WriteFile(root_ / "img" / "big.jpg", image);
  platform_.CopyFile(R"(C:\img\big.jpg)", R"(C:\img\big2.jpg)");
  EXPECT_EQ(ReadFile(root_ / "img" / "big2.jpg"), image);
  platform_.CopyFile("/proc/version", R"(C:\img\version.txt)");
  EXPECT_EQ(ReadFile(root_ / "img" / "version.txt"), ReadFile("/proc/version"));
  const fs::path elsewhere = "/dev/shm/tavirex-copy-" + std::to_string(::getpid()) + ".jpg";
  platform_.CopyFile(R"(C:\img\big.jpg)", elsewhere.string());
  platform_.CopyFile(elsewhere.string(), R"(C:\img\big3.jpg)");
  fs::remove(elsewhere);
  EXPECT_EQ(ReadFile(root_ / "img" / "big3.jpg"), image);
}

TEST_F(PosixPlatformTest, ScriptedUserAndEnvironment) {
  setenv("TAVIREX_DRIVE_D", "/data", 1);
  setenv("TAVIREX_MSGBOX_ANSWERS", "1, 6", 1);
  PosixPlatformOptions options = PosixPlatform::OptionsFromEnvironment();
  unsetenv("TAVIREX_DRIVE_D");
  unsetenv("TAVIREX_MSGBOX_ANSWERS");
  EXPECT_EQ(options.drive_roots['D'], "/data");
  options.interactive = false;
  PosixPlatform platform(options);
  // Scripted answers first, then what closing the box gives.
  EXPECT_EQ(platform.MessageBox("Waiting", msgbox::kOkCancel, std::nullopt), msgbox::kOk);
  EXPECT_EQ(platform.MessageBox("Sure?", msgbox::kYesNo, "Ask"), msgbox::kYes);
  EXPECT_EQ(platform.MessageBox("Waiting", msgbox::kOkCancel, std::nullopt), msgbox::kCancel);
  EXPECT_EQ(platform.MessageBox("Sure?", msgbox::kYesNo, "Ask"), msgbox::kNo);
  EXPECT_EQ(platform.MessageBox("Failed", msgbox::kCritical, "Err"), msgbox::kOk);
  const auto& boxes = platform.shown_boxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0].title, "Tavirex");
  EXPECT_EQ(boxes[4].text + boxes[4].title, "FailedErr");
  EXPECT_EQ(boxes[4].style, msgbox::kCritical);
}

TEST_F(PosixPlatformTest, ShellExecuteStartsProgramsAndDocuments) {
  fs::create_directories(root_ / "work");
  const fs::path record = root_ / "argv.txt";
  RecordingScript(root_ / "CreatePatient.exe", record);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\CreatePatient.exe)",
                                   R"(4711 "Doe, John" a\"b "")", R"(C:\work)", 1),
            42);
  EXPECT_EQ(ReadFile(record),
            "4711\nDoe, John\na\"b\n\n" + fs::canonical(root_ / "work").string() + "\n");
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // detached: nothing left to reap
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\none.exe)", "", "", 1), 2);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\nofolder\x.exe)", "", "", 1), 3);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\CreatePatient.exe)", "", R"(C:\no)", 1), 3);

  // A document, even an executable one (as on a vfat mount), opens with the
  // viewer; without one there is no association.
  fs::remove(record);
  RecordingScript(root_ / "opener.sh", record);
  WriteFile(root_ / "4711_1042_x.jpg", "#!/bin/sh\n", fs::perms::owner_all);
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "opener.sh").c_str(), 1);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\4711_1042_x.jpg)", "", "", 1), 42);
  const std::string document = (root_ / "4711_1042_x.jpg").string() + "\n";
  EXPECT_EQ(ReadFile(record).substr(0, document.size()), document);
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "no-opener").c_str(), 1);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\4711_1042_x.jpg)", "", "", 1), 31);
  unsetenv("TAVIREX_OPEN_COMMAND");
}

}  // namespace
}  // namespace tavirex
