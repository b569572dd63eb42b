#include "hostenv/posix/posix_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "winrules/vb_error.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes, fs::perms perms = fs::perms::none) {
  std::ofstream(path, std::ios::binary) << bytes;
  if (perms != fs::perms::none) fs::permissions(path, perms);
}

template <typename Operation>
int ErrorOf(Operation operation) {
  try {
    operation();
  } catch (const VbError& e) {
    return e.number();
  }
  return 0;
}

// A drive C in a fresh temporary folder, its Windows directory, and services
// whose user is scripted.
class PosixPlatformTest : public ::testing::Test {
 protected:
  PosixPlatformTest() {
    std::string pattern = (fs::temp_directory_path() / "tavirex-posix-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    fs::create_directories(root_ / "windows");
    PosixPlatformOptions options;
    options.drive_roots['c'] = root_.string() + "/";
    options.interactive = false;
    platform_ = std::make_unique<PosixPlatform>(options);
  }
  ~PosixPlatformTest() override { fs::remove_all(root_); }

  // The launched-program stand-in: records its arguments, one per line, and
  // its working folder into `record`.
  fs::path RecordingScript(const std::string& name, const fs::path& record) {
    fs::path script = root_ / name;
    WriteFile(script,
              "#!/bin/sh\n{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; pwd; } > '" +
                  record.string() + ".tmp'\n/bin/mv '" + record.string() + ".tmp' '" +
                  record.string() + "'\n",
              fs::perms::owner_all);
    return script;
  }

  static std::string WaitForFile(const fs::path& path) {
    for (int i = 0; i < 500 && !fs::exists(path); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
  }

  fs::path root_;
  std::unique_ptr<PosixPlatform> platform_;
};

TEST_F(PosixPlatformTest, MapsWindowsPaths) {
  PosixPlatform plain{PosixPlatformOptions{}};
  EXPECT_EQ(plain.ToNativePath(R"(C:\KSOCTVIEW\bin\x.exe)"), "/KSOCTVIEW/bin/x.exe");
  EXPECT_EQ(plain.ToNativePath("D:"), "/");
  EXPECT_EQ(plain.ToNativePath(R"(img\a.jpg)"), "img/a.jpg");
  EXPECT_EQ(platform_->ToNativePath(R"(c:\img\a.jpg)"), root_.string() + "/img/a.jpg");
  EXPECT_EQ(platform_->ToNativePath("C:"), root_.string());
  // The default Windows directory is C:\windows of the drive map.
  WriteFile(root_ / "windows" / "PXEquip.ini", "[Equipment]\nTavirex:Review X=12\n");
  EXPECT_EQ(platform_->ReadProfileString("equipment", "tavirex:review x", "PXEquip.ini"), "12");
}

TEST_F(PosixPlatformTest, ReadsProfilesWithoutWriting) {
  WriteFile(root_ / "windows" / "praxo32.ini", "[System]\nPath=C:\\praxo\n");
  WriteFile(root_ / "other.ini",
            "[s]\nk=\"v\"\n[M\xfcller]\nZo\xeb=\x80 Gr\xfc\xdf\n");  // Windows-1252
  EXPECT_EQ(platform_->ReadProfileString("System", "Path", "PRAXO32.INI"), "C:\\praxo");
  EXPECT_EQ(platform_->ProfileFilePath("PRAXO32.INI"),
            (root_ / "windows" / "praxo32.ini").string());
  EXPECT_EQ(platform_->ReadProfileString("s", "k", R"(C:\other.ini)"), "v");
  EXPECT_EQ(platform_->ReadProfileString("MÜLLER", "zoË", R"(C:\other.ini)"), "€ Grüß");
  EXPECT_EQ(platform_->ReadProfileString("s", "k", "missing.ini"), "");
  EXPECT_EQ(platform_->ReadProfileString("s", "k", R"(C:\nofolder\x.ini)"), "");
  EXPECT_FALSE(fs::exists(root_ / "windows" / "missing.ini"));
}

TEST_F(PosixPlatformTest, FileSystemObjectErrorNumbers) {
  // Folders: 58 when there, 76 without parent or when listing a missing one.
  platform_->CreateFolder(R"(C:\img)");
  EXPECT_TRUE(platform_->FolderExists(R"(C:\img)"));
  EXPECT_EQ(ErrorOf([&] { platform_->CreateFolder(R"(C:\img)"); }), 58);
  EXPECT_EQ(ErrorOf([&] { platform_->CreateFolder(R"(C:\no\img)"); }), 76);
  EXPECT_EQ(ErrorOf([&] { platform_->FolderFileNames(R"(C:\none)"); }), 76);

  // Copy: 53 for a missing source, 76 for a missing destination folder, 70
  // onto a read-only file even as root; otherwise replaces.
  WriteFile(root_ / "img" / "a.jpg", "new");
  WriteFile(root_ / "img" / "ro.jpg", "old", fs::perms::owner_read | fs::perms::group_read);
  WriteFile(root_ / "img" / "rw.jpg", "old");
  EXPECT_EQ(ErrorOf([&] { platform_->CopyFile(R"(C:\img\none.jpg)", R"(C:\img\b.jpg)"); }), 53);
  EXPECT_EQ(ErrorOf([&] { platform_->CopyFile(R"(C:\img\a.jpg)", R"(C:\no\b.jpg)"); }), 76);
  EXPECT_EQ(ErrorOf([&] { platform_->CopyFile(R"(C:\img\a.jpg)", R"(C:\img\ro.jpg)"); }), 70);
  EXPECT_EQ(ReadFile(root_ / "img" / "ro.jpg"), "old");
  platform_->CopyFile(R"(C:\img\a.jpg)", R"(C:\img\rw.jpg)");
  EXPECT_EQ(ReadFile(root_ / "img" / "rw.jpg"), "new");
  platform_->CopyFile(R"(C:\img\ro.jpg)", R"(C:\img\ro2.jpg)");  // keeps read-only
  EXPECT_EQ(fs::status(root_ / "img" / "ro2.jpg").permissions() & fs::perms::owner_write,
            fs::perms::none);

  // Delete: 53 when missing, 70 when read-only (even as root).
  EXPECT_EQ(ErrorOf([&] { platform_->DeleteFile(R"(C:\img\none.jpg)"); }), 53);
  EXPECT_EQ(ErrorOf([&] { platform_->DeleteFile(R"(C:\img\ro.jpg)"); }), 70);
  EXPECT_TRUE(fs::exists(root_ / "img" / "ro.jpg"));
  platform_->DeleteFile(R"(C:\img\a.jpg)");
  EXPECT_FALSE(platform_->FileExists(R"(C:\img\a.jpg)"));

  // Flush: any file, read-only ones too; 53 when missing.
  platform_->FlushFile(R"(C:\img\ro2.jpg)");
  EXPECT_EQ(ErrorOf([&] { platform_->FlushFile(R"(C:\img\none.jpg)"); }), 53);

  // Append: creates and appends; 76 without folder, 75 on a read-only file.
  platform_->AppendToFile(R"(C:\img\log.txt)", "one\r\n");
  platform_->AppendToFile(R"(C:\img\log.txt)", "two Zoë Ω\r\n");  // as Print # writes it
  EXPECT_EQ(ReadFile(root_ / "img" / "log.txt"), "one\r\ntwo Zo\xeb ?\r\n");
  EXPECT_EQ(ErrorOf([&] { platform_->AppendToFile(R"(C:\no\log.txt)", "x"); }), 76);
  EXPECT_EQ(ErrorOf([&] { platform_->AppendToFile(R"(C:\img\ro.jpg)", "x"); }), 75);

  // Files are not folders and folders not files; no copy leftovers remain.
  EXPECT_FALSE(platform_->FileExists(R"(C:\img)"));
  EXPECT_FALSE(platform_->FolderExists(R"(C:\img\rw.jpg)"));
  std::vector<std::string> names = platform_->FolderFileNames(R"(C:\img)");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"log.txt", "ro.jpg", "ro2.jpg", "rw.jpg"}));
}

// Whole copies whichever way the bytes go: in the kernel over several
// chunks, from a file whose size the file system does not tell, and from
// another file system, where the copy falls back on a buffer.
TEST_F(PosixPlatformTest, CopyFileCopiesEveryByte) {
  fs::create_directories(root_ / "img");
  std::string image(2'500'000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 % 251);
  WriteFile(root_ / "img" / "big.jpg", image);
  platform_->CopyFile(R"(C:\img\big.jpg)", R"(C:\img\big2.jpg)");
  EXPECT_EQ(ReadFile(root_ / "img" / "big2.jpg"), image);

  const std::string version = ReadFile("/proc/version");
  ASSERT_FALSE(version.empty());
  platform_->CopyFile("/proc/version", R"(C:\img\version.txt)");
  EXPECT_EQ(ReadFile(root_ / "img" / "version.txt"), version);

  if (fs::is_directory("/dev/shm")) {
    const fs::path elsewhere = "/dev/shm/tavirex-copy-" + std::to_string(::getpid()) + ".jpg";
    platform_->CopyFile(R"(C:\img\big.jpg)", elsewhere.string());
    EXPECT_EQ(ReadFile(elsewhere), image);
    platform_->CopyFile(elsewhere.string(), R"(C:\img\big3.jpg)");
    fs::remove(elsewhere);
    EXPECT_EQ(ReadFile(root_ / "img" / "big3.jpg"), image);
  }
}

TEST_F(PosixPlatformTest, FolderFileNamesAreFilesIncludingHiddenAndLinks) {
  fs::create_directories(root_ / "drop" / "sub");
  WriteFile(root_ / "drop" / "a.jpg", "a");
  WriteFile(root_ / "drop" / ".hidden", "h");
  fs::create_symlink(root_ / "drop" / "a.jpg", root_ / "drop" / "link.jpg");
  fs::create_directory_symlink(root_ / "drop" / "sub", root_ / "drop" / "sublink");
  std::vector<std::string> names = platform_->FolderFileNames(R"(C:\drop)");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a.jpg", "link.jpg"}));
}

TEST_F(PosixPlatformTest, ListDirectoryMatchesFilesAndFoldersSkippingHidden) {
  fs::create_directories(root_ / "img" / "4711_sub");
  for (const char* name :
       {"4711_a.jpg", "4711_B.JPG", ".4711_hidden.jpg", "4712_x.jpg", "4711_Ωμέγα.jpg"}) {
    WriteFile(root_ / "img" / name, "x");
  }
  auto list = [&](const std::string& pattern) {
    std::vector<std::string> names;
    platform_->ListDirectory(pattern, [&](const std::string& name) {
      names.push_back(name);
      return true;
    });
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(list(R"(C:\img\4711_*)"),
            (std::vector<std::string>{"4711_B.JPG", "4711_a.jpg", "4711_sub", "4711_Ωμέγα.jpg"}));
  EXPECT_EQ(list(R"(C:\img\4711_b.jpg)"), (std::vector<std::string>{"4711_B.JPG"}));
  EXPECT_EQ(list(R"(C:\img\4711_ΩΜΈΓΑ.*)"), (std::vector<std::string>{"4711_Ωμέγα.jpg"}));
  EXPECT_EQ(list(R"(C:\img\)").size(), 5u);
  EXPECT_TRUE(list(R"(C:\none\*)").empty());
  int visits = 0;
  platform_->ListDirectory(R"(C:\img\*)", [&](const std::string&) { return ++visits < 2; });
  EXPECT_EQ(visits, 2);
}

TEST_F(PosixPlatformTest, MessageBoxesTakeScriptedAnswersThenDefaults) {
  platform_->QueueAnswers({msgbox::kOk, msgbox::kYes});
  EXPECT_EQ(platform_->MessageBox("Waiting", msgbox::kOkCancel, std::nullopt), msgbox::kOk);
  EXPECT_EQ(platform_->MessageBox("Sure?", msgbox::kYesNo, "Ask"), msgbox::kYes);
  EXPECT_EQ(platform_->MessageBox("Waiting", msgbox::kOkCancel, std::nullopt), msgbox::kCancel);
  EXPECT_EQ(platform_->MessageBox("Sure?", msgbox::kYesNo, "Ask"), msgbox::kNo);
  EXPECT_EQ(platform_->MessageBox("Failed", msgbox::kCritical, "Err"), msgbox::kOk);
  const auto& boxes = platform_->shown_boxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0].title, "Tavirex");
  EXPECT_EQ(boxes[1].title, "Ask");
  EXPECT_EQ(boxes[4].text, "Failed");
  EXPECT_EQ(boxes[4].style, msgbox::kCritical);
  EXPECT_EQ(boxes[2].answer, msgbox::kCancel);
}

TEST_F(PosixPlatformTest, OptionsFromEnvironment) {
  setenv("TAVIREX_DRIVE_D", "/data", 1);
  setenv("TAVIREX_WINDOWS_DIR", "/etc/win", 1);
  setenv("TAVIREX_MSGBOX_ANSWERS", "1, 2,6", 1);
  PosixPlatformOptions options = PosixPlatform::OptionsFromEnvironment();
  unsetenv("TAVIREX_DRIVE_D");
  unsetenv("TAVIREX_WINDOWS_DIR");
  unsetenv("TAVIREX_MSGBOX_ANSWERS");
  EXPECT_EQ(options.drive_roots['D'], "/data");
  EXPECT_EQ(options.windows_dir, "/etc/win");
  EXPECT_EQ(options.message_box_answers, (std::vector<int>{1, 2, 6}));
  options.interactive = false;
  PosixPlatform platform(options);
  EXPECT_EQ(platform.MessageBox("x", msgbox::kOkCancel, std::nullopt), msgbox::kOk);
  EXPECT_EQ(platform.MessageBox("x", msgbox::kOkCancel, std::nullopt), msgbox::kCancel);
  EXPECT_FALSE(platform.ModuleFolder().empty());
}

TEST_F(PosixPlatformTest, ShellExecuteStartsProgramsDetached) {
  fs::create_directories(root_ / "work");
  fs::path record = root_ / "argv.txt";
  RecordingScript("CreatePatient.exe", record);
  std::intptr_t result = platform_->ShellExecute(0, "open", R"(C:\CreatePatient.exe)",
                                                 R"(4711 "Doe, John" a\"b "")", R"(C:\work)", 1);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(WaitForFile(record),
            "4711\nDoe, John\na\"b\n\n" + fs::canonical(root_ / "work").string() + "\n");
  // The program is not a child of ours: nothing is left to reap.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);

  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\none.exe)", "", "", 1), 2);
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\nofolder\x.exe)", "", "", 1), 3);
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\CreatePatient.exe)", "", R"(C:\no)", 1), 3);
  // A program without a type, as programs are named here.
  fs::remove(record);
  RecordingScript("CreatePatient", record);
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\CreatePatient)", "x", "", 1), 42);
  EXPECT_EQ(WaitForFile(record).substr(0, 2), "x\n");
}

TEST_F(PosixPlatformTest, ShellExecuteOpensDocumentsByTheirType) {
  fs::path record = root_ / "opened.txt";
  fs::path opener = RecordingScript("opener.sh", record);
  // Executable, as on a vfat or CIFS mount, and still a document.
  WriteFile(root_ / "4711_1042_x.jpg", "#!/bin/sh\n", fs::perms::owner_all);
  setenv("TAVIREX_OPEN_COMMAND", opener.c_str(), 1);
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\4711_1042_x.jpg)", "", "", 1), 42);
  EXPECT_EQ(WaitForFile(record).substr(0, (root_ / "4711_1042_x.jpg").string().size() + 1),
            (root_ / "4711_1042_x.jpg").string() + "\n");
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "no-opener").c_str(), 1);
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\4711_1042_x.jpg)", "", "", 1), 31);
  unsetenv("TAVIREX_OPEN_COMMAND");

  // Otherwise xdg-open, for the types the desktop's MIME database associates.
  fs::create_directories(root_ / "bin");
  fs::remove(record);
  RecordingScript("bin/xdg-open", record);
  WriteFile(
      root_ / "bin" / "xdg-mime",
      "#!/bin/sh\ncase \"$2:$3\" in\n  filetype:*.jpg) echo 'image/jpeg; charset=binary' ;;\n"
      "  filetype:*) echo application/x-unknown ;;\n  default:image/jpeg) echo viewer.desktop "
      ";;\nesac\n",
      fs::perms::owner_all);
  WriteFile(root_ / "notes.xyz", "x");
  const std::string path = std::getenv("PATH");
  setenv("PATH", (root_ / "bin").c_str(), 1);
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\notes.xyz)", "", "", 1), 31);
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\4711_1042_x.jpg)", "", "", 1), 42);
  EXPECT_EQ(WaitForFile(record).substr(0, (root_ / "4711_1042_x.jpg").string().size() + 1),
            (root_ / "4711_1042_x.jpg").string() + "\n");
  fs::remove(root_ / "bin" / "xdg-mime");
  EXPECT_EQ(platform_->ShellExecute(0, "open", R"(C:\4711_1042_x.jpg)", "", "", 1), 31);
  setenv("PATH", path.c_str(), 1);
}

TEST_F(PosixPlatformTest, CurrentDirectoryAndServerConnection) {
  fs::path before = fs::current_path();
  fs::create_directories(root_ / "work");
  platform_->SetCurrentDirectory(R"(C:\work)");
  EXPECT_EQ(fs::current_path(), fs::canonical(root_ / "work"));
  fs::current_path(before);
  EXPECT_EQ(ErrorOf([&] { platform_->SetCurrentDirectory(R"(C:\none)"); }), 76);

  // Any well-formed class name stands for a registered class.
  for (std::string name : {"Praxo.ServerLink", "{621c4617-A319-477D-9951-490064C0ACF2}"}) {
    EXPECT_NE(platform_->ConnectHostServer(name, "SetServerName", "PRAXO-SRV"), nullptr);
    EXPECT_EQ(platform_->last_server_request().component_class, name);
    EXPECT_EQ(platform_->last_server_request().server_name, "PRAXO-SRV");
  }
  for (std::string name : {"Praxo_Link", "{621C4617-A319-477D-9951-490064C0ACF}"}) {
    EXPECT_EQ(ErrorOf([&] { platform_->ConnectHostServer(name, "SetServerName", ""); }), 429)
        << name;
  }
  EXPECT_EQ(platform_->server_connections_created(), 2);
}

}  // namespace
}  // namespace tavirex
