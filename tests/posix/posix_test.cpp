// The POSIX platform on real files in a temporary folder mapped as drive C,
// and the image list window on a terminal: scripted key lines driving the
// form's handlers.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/test_support.h"
#include "ui/terminal/terminal_image_list_view.h"

namespace tavirex {
namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// C:\img and C:\windows of a workstation; boxes are answered OK.
class PosixPlatformTest : public ::testing::Test {
 protected:
  PosixPlatformTest() { fs::create_directories(Img()); }

  fs::path Img(const std::string& name = "") { return root_ / "img" / name; }
  std::string Read(const fs::path& path) {
    for (int i = 0; i < 500 && !fs::exists(path); ++i) {  // a started program may still write it
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
  }
  // A program that records its arguments and working folder, one a line.
  void RecordingScript(const std::string& script, const fs::path& record) {
    const std::string to = "'" + record.string();
    ws_.Write(script,
              "#!/bin/sh\n{ printf '%s\\n' \"$@\"; pwd; } > " + to + ".tmp'\nmv " + to + ".tmp' " +
                  to + "'\n",
              fs::perms::owner_all);
  }

  Workstation ws_;
  const fs::path& root_ = ws_.root();
  PosixPlatform& platform_ = ws_.platform();
};

TEST_F(PosixPlatformTest, WindowsPathsAndProfiles) {
  EXPECT_EQ(platform_.ToNativePath(R"(img\a.jpg)"), "img/a.jpg");
  EXPECT_EQ(platform_.ToNativePath(R"(c:\img\a.jpg)"), Img("a.jpg").string());
  // A name without folder is in C:\windows; names and value in Windows-1252.
  ws_.Write("windows/pxequip.ini", "[M\xfcller]\nZo\xeb=\x80 Gr\xfc\xdf\n");
  EXPECT_EQ(platform_.ReadProfileString("MÜLLER", "zoË", "PXEquip.ini"), "€ Grüß");
  EXPECT_EQ(platform_.ProfileFilePath("PXEQUIP.INI"), (root_ / "windows" / "pxequip.ini").string());
  EXPECT_EQ(platform_.ReadProfileString("s", "k", "missing.ini"), "");
  EXPECT_FALSE(fs::exists(root_ / "windows" / "missing.ini"));
}

// errno sorted into the numbers VB's file-system object and Open statement
// raise; read-only files refuse even root.
TEST_F(PosixPlatformTest, FailuresRaiseTheVbNumbers) {
  ws_.Write("img/a.jpg", "new");
  ws_.Write("img/ro.jpg", "old", fs::perms::owner_read | fs::perms::group_read);
  PosixPlatform& p = platform_;
  const std::string file = R"(C:\img\a.jpg)", read_only = R"(C:\img\ro.jpg)";
  const std::string missing = R"(C:\img\none)", nowhere = R"(C:\no\x)";
  // clang-format off
  const std::pair<int, std::function<void()>> kRows[] = {
      {58, [&] { p.CreateFolder(R"(C:\img)"); }}, {76, [&] { p.CreateFolder(nowhere); }},
      {76, [&] { p.FolderFileNames(missing); }},  {53, [&] { p.CopyFile(missing, file); }},
      {76, [&] { p.CopyFile(file, nowhere); }},   {70, [&] { p.CopyFile(file, read_only); }},
      {53, [&] { p.DeleteFile(missing); }},       {70, [&] { p.DeleteFile(read_only); }},
      {53, [&] { p.FlushFile(missing); }},        {76, [&] { p.AppendToFile(nowhere, "x"); }},
      {75, [&] { p.AppendToFile(read_only, "x"); }}, {76, [&] { p.SetCurrentDirectory(missing); }}};
  // clang-format on
  for (const auto& [number, action] : kRows) {
    EXPECT_EQ(ErrorOf(action), number) << "row " << &action - &kRows[0].second;
  }
  EXPECT_EQ(Read(Img("ro.jpg")), "old");
}

TEST_F(PosixPlatformTest, FilesAndFolders) {
  // Copies replace and keep read-only; the log as Print # writes it.
  ws_.Write("img/a.jpg", "new");
  ws_.Write("img/rw.jpg", "old");
  ws_.Write("img/ro.jpg", "old", fs::perms::owner_read);
  platform_.CopyFile(R"(C:\img\a.jpg)", R"(C:\img\rw.jpg)");
  EXPECT_EQ(Read(Img("rw.jpg")), "new");
  platform_.CopyFile(R"(C:\img\ro.jpg)", R"(C:\img\ro2.jpg)");
  EXPECT_EQ(fs::status(Img("ro2.jpg")).permissions() & fs::perms::owner_write, fs::perms::none);
  platform_.FlushFile(R"(C:\img\ro2.jpg)");
  platform_.DeleteFile(R"(C:\img\a.jpg)");
  EXPECT_FALSE(platform_.FileExists(R"(C:\img\a.jpg)") || platform_.FileExists(R"(C:\img)"));
  EXPECT_FALSE(platform_.FolderExists(R"(C:\img\rw.jpg)"));
  platform_.AppendToFile(R"(C:\img\log.txt)", "one\r\n");
  platform_.AppendToFile(R"(C:\img\log.txt)", "two Zoë Ω\r\n");
  EXPECT_EQ(Read(Img("log.txt")), "one\r\ntwo Zo\xeb ?\r\n");

  // Listings: files with hidden ones and links, no folders and no copy
  // leftovers; Dir takes folders and skips hidden names.
  fs::create_directories(Img("4711_sub"));
  ws_.Write("img/.4711_hidden.jpg", "h");
  ws_.Write("img/4711_Ωμέγα.jpg", "x");
  fs::create_symlink(Img("rw.jpg"), Img("4711_link.JPG"));
  fs::create_directory_symlink(Img("4711_sub"), Img("sublink"));
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
}

// Whole copies whichever way the bytes go: in the kernel over several
// chunks, from a file whose size the file system does not tell, and across
// file systems.
TEST_F(PosixPlatformTest, CopyFileCopiesEveryByte) {
  std::string image(2'500'000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 % 251);
  ws_.Write("img/big.jpg", image);
  platform_.CopyFile(R"(C:\img\big.jpg)", R"(C:\img\big2.jpg)");
  EXPECT_EQ(Read(Img("big2.jpg")), image);
  platform_.CopyFile("/proc/version", R"(C:\img\version.txt)");
  EXPECT_EQ(Read(Img("version.txt")), Read("/proc/version"));
  const fs::path elsewhere = "/dev/shm/tavirex-copy-" + std::to_string(::getpid()) + ".jpg";
  platform_.CopyFile(R"(C:\img\big.jpg)", elsewhere.string());
  platform_.CopyFile(elsewhere.string(), R"(C:\img\big3.jpg)");
  fs::remove(elsewhere);
  EXPECT_EQ(Read(Img("big3.jpg")), image);
}

TEST_F(PosixPlatformTest, ShellExecuteStartsProgramsAndDocuments) {
  fs::create_directories(root_ / "work");
  const fs::path record = root_ / "argv.txt";
  RecordingScript("CreatePatient.exe", record);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\CreatePatient.exe)",
                                   R"(4711 "Doe, John" a\"b "")", R"(C:\work)", 1),
            42);
  EXPECT_EQ(Read(record),
            "4711\nDoe, John\na\"b\n\n" + fs::canonical(root_ / "work").string() + "\n");
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // detached: nothing left to reap
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\none.exe)", "", "", 1), 2);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\nofolder\x.exe)", "", "", 1), 3);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\CreatePatient.exe)", "", R"(C:\no)", 1), 3);

  // A document, even an executable one (as on a vfat mount), opens with the
  // viewer; without one there is no association.
  fs::remove(record);
  RecordingScript("opener.sh", record);
  ws_.Write("img/4711_1042_x.jpg", "#!/bin/sh\n", fs::perms::owner_all);
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "opener.sh").c_str(), 1);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\img\4711_1042_x.jpg)", "", "", 1), 42);
  EXPECT_EQ(Read(record).substr(0, Img("4711_1042_x.jpg").string().size()),
            Img("4711_1042_x.jpg").string());
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "no-opener").c_str(), 1);
  EXPECT_EQ(platform_.ShellExecute(0, "open", R"(C:\img\4711_1042_x.jpg)", "", "", 1), 31);
  unsetenv("TAVIREX_OPEN_COMMAND");
}

// Three stored images of patient 4711 (and one of another patient) in C:\img.
class ImageListViewTest : public PosixPlatformTest {
 protected:
  ImageListViewTest() {
    for (const char* name : {"4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg",
                             "4711_1043_a_b_c_d_e_OS_2017-01-02_09-00-00.jpg",
                             "4711_1041_a_b_c_d_e_OD_2015-12-24_08-30-00.jpg",
                             "0815_1_a_b_c_d_e_OS_2018-01-01_10-00-00.jpg"}) {
      ws_.Write("img/" + std::string(name), "jpeg");
    }
    EXPECT_TRUE(form_.LoadGridWithFiles4PatID("4711", "C:\\img"));
  }
  std::string Show(FrmImageFiles& form, TerminalImageListView& view) {
    ::testing::internal::CaptureStderr();
    view.ShowModal(form);
    return ::testing::internal::GetCapturedStderr();
  }

  TerminalImageListView view_{{}, false};
  FrmImageFiles form_{platform_, view_};
};

TEST_F(ImageListViewTest, ParsesKeyLines) {
  using Kind = WindowKey::Kind;
  const std::tuple<const char*, Kind, std::int32_t> kKeys[] = {
      {" 1 ", Kind::kHeaderClick, 1}, {"O12\r\n", Kind::kOpenRow, 12}, {"Q\n", Kind::kExit, 0},
      {"\x1b\n", Kind::kExit, 0},     {"0", Kind::kInvalid, 0},        {"12", Kind::kInvalid, 0},
      {"o", Kind::kInvalid, 0},       {"o -1", Kind::kInvalid, 0},     {"", Kind::kInvalid, 0}};
  for (const auto& [line, kind, number] : kKeys) {
    EXPECT_TRUE(ParseWindowKey(line).kind == kind && ParseWindowKey(line).number == number) << line;
  }
}

TEST_F(ImageListViewTest, ScriptedKeysClickHeadersOpenRowsAndExit) {
  view_.QueueKeys({"3", "5", "9", "2", "x"});
  const std::string shown = Show(form_, view_);
  EXPECT_TRUE(form_.unloaded());
  // Newest first; the date once: ascending; Eye and unknown keys change
  // nothing; the exam number: descending again.
  const std::size_t after_date = shown.find("key: 3");
  EXPECT_LT(shown.find(">  1 4711          1043"), after_date);
  EXPECT_LT(shown.find(">  1 4711          1041", after_date), shown.find("key: 5"));
  EXPECT_EQ(Cells(form_.grdImageFiles(), 0, 2), "1043|1042|1041");
  EXPECT_NE(shown.find("no column 9\n"), std::string::npos);
  EXPECT_EQ(shown.find("C:\\img"), std::string::npos);  // the hidden columns never show

  // Opening row 2 without a viewer: the form's message, and the window closes.
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "missing").c_str(), 1);
  FrmImageFiles again(platform_, view_);
  ASSERT_TRUE(again.LoadGridWithFiles4PatID("4711", "C:\\img"));
  view_.QueueKeys({"o 7", "o 2"});
  const std::string shown_again = Show(again, view_);
  unsetenv("TAVIREX_OPEN_COMMAND");
  EXPECT_NE(shown_again.find("no row 7\n"), std::string::npos);
  EXPECT_NE(shown_again.find("Stop: There is no file association for the jpg file type.  {[O]K}"),
            std::string::npos);
  EXPECT_EQ(again.grdImageFiles().ActiveRow(), 2);
  EXPECT_TRUE(again.unloaded());
  EXPECT_FALSE(view_.wait_cursor());
}

}  // namespace
}  // namespace tavirex
