// The image list window on a terminal: keys, scripted or typed on a real
// pseudo-terminal, driving the form's handlers, and what the window shows.
#include "ui/terminal/image_list_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "hostenv/posix/posix_platform.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;

// Three stored images of patient 4711 (and one of another patient) in C:\img.
class ImageListViewTest : public ::testing::Test {
 protected:
  ImageListViewTest() {
    std::string pattern = (fs::temp_directory_path() / "tavirex-view-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    fs::create_directories(root_ / "img");
    for (const char* name : {"4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg",
                             "4711_1043_a_b_c_d_e_OS_2017-01-02_09-00-00.jpg",
                             "4711_1041_a_b_c_d_e_OD_2015-12-24_08-30-00.jpg",
                             "0815_1_a_b_c_d_e_OS_2018-01-01_10-00-00.jpg"}) {
      std::ofstream(root_ / "img" / name) << "jpeg";
    }
    PosixPlatformOptions options;
    options.drive_roots['C'] = root_.string();
    options.module_dir = root_.string();
    options.interactive = false;
    platform_ = std::make_unique<PosixPlatform>(options);
    form_ = std::make_unique<FrmImageFiles>(*platform_, view_);
    EXPECT_TRUE(form_->LoadGridWithFiles4PatID("4711", "C:\\img"));
  }
  ~ImageListViewTest() override {
    unsetenv("TAVIREX_OPEN_COMMAND");
    fs::remove_all(root_);
  }

  // Shows the window for `form` and returns what it printed.
  std::string Show(FrmImageFiles& form, TerminalImageListView& view) {
    ::testing::internal::CaptureStderr();
    view.ShowModal(form);
    return ::testing::internal::GetCapturedStderr();
  }
  std::string Exams() {
    std::string exams;
    ImageGrid& grid = form_->grdImageFiles();
    for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) exams += grid.CellText(2, row) + " ";
    return exams;
  }
  static std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++count;
    }
    return count;
  }

  fs::path root_;
  std::unique_ptr<PosixPlatform> platform_;
  TerminalImageListView view_{{}, false};
  std::unique_ptr<FrmImageFiles> form_;
};

TEST_F(ImageListViewTest, ParsesKeyLines) {
  using Kind = WindowKey::Kind;
  const std::tuple<const char*, Kind, std::int32_t> kKeys[] = {
      {"3\n", Kind::kHeaderClick, 3}, {" 1 ", Kind::kHeaderClick, 1}, {"o 12", Kind::kOpenRow, 12},
      {"O2\r\n", Kind::kOpenRow, 2},  {"x", Kind::kExit, 0},          {"Q\n", Kind::kExit, 0},
      {"\x1b\n", Kind::kExit, 0},     {"0", Kind::kInvalid, 0},       {"12", Kind::kInvalid, 0},
      {"o", Kind::kInvalid, 0},       {"o -1", Kind::kInvalid, 0},    {"", Kind::kInvalid, 0}};
  for (const auto& [line, kind, number] : kKeys) {
    const WindowKey key = ParseWindowKey(line);
    EXPECT_EQ(key.kind, kind) << line;
    EXPECT_EQ(key.number, number) << line;
  }
}

TEST_F(ImageListViewTest, HeaderKeysSortAndExitCloses) {
  view_.QueueKeys({"3", "5", "9", "what", "2", "x", "1"});
  const std::string shown = Show(*form_, view_);
  EXPECT_TRUE(form_->unloaded());
  // Newest first; the date once: ascending; Eye and unknown keys change
  // nothing; the exam number: descending again.
  const std::size_t after_date = shown.find("key: 3");
  EXPECT_LT(shown.find(">  1 4711          1043"), after_date);
  EXPECT_LT(shown.find(">  1 4711          1041", after_date), shown.find("key: 5"));
  EXPECT_EQ(Exams(), "1043 1042 1041 ");
  EXPECT_EQ(Count(shown, "=== Tavirex Images ==="), 3u);  // at the start, after 3 and 2
  EXPECT_NE(shown.find("no column 9\n"), std::string::npos);
  EXPECT_EQ(shown.find("C:\\img"), std::string::npos);  // the hidden columns never show
  // The key after Exit is left for the next window, which then closes.
  FrmImageFiles next(*platform_, view_);
  const std::string next_shown = Show(next, view_);
  EXPECT_TRUE(next.unloaded());
  EXPECT_NE(next_shown.find("key: 1\n"), std::string::npos);
  EXPECT_NE(next_shown.find("(no files)"), std::string::npos);
  EXPECT_NE(next_shown.find("no key left: Exit\n"), std::string::npos);
}

TEST_F(ImageListViewTest, OpenKeyLaunchesTheViewerForThatRow) {
  const fs::path record = root_ / "opened.txt";
  const fs::path viewer = root_ / "viewer.sh";
  std::ofstream(viewer) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record.string()
                        << ".tmp'\nmv '" << record.string() << ".tmp' '" << record.string()
                        << "'\n";
  fs::permissions(viewer, fs::perms::owner_all);
  setenv("TAVIREX_OPEN_COMMAND", viewer.c_str(), 1);
  view_.QueueKeys({"o 2", "o 7", "x"});
  const std::string shown = Show(*form_, view_);
  for (int i = 0; i < 500 && !fs::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string opened;
  std::getline(std::ifstream(record), opened);
  EXPECT_EQ(opened, (root_ / "img" / "4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg").string());
  EXPECT_NE(shown.find("no row 7\n"), std::string::npos);
  EXPECT_FALSE(view_.wait_cursor());
  EXPECT_TRUE(platform_->shown_boxes().empty());
  EXPECT_EQ(form_->grdImageFiles().ActiveRow(), 2);

  // No viewer: the form tells the user, and the window closes.
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "missing").c_str(), 1);
  FrmImageFiles again(*platform_, view_);
  ASSERT_TRUE(again.LoadGridWithFiles4PatID("4711", "C:\\img"));
  view_.QueueKeys({"o 1"});
  Show(again, view_);
  ASSERT_EQ(platform_->shown_boxes().size(), 1u);
  EXPECT_EQ(platform_->shown_boxes()[0].title, "Tavirex Interface");
  EXPECT_EQ(platform_->shown_boxes()[0].text,
            "There is no file association for the jpg file type.");
  EXPECT_TRUE(again.unloaded());
  EXPECT_FALSE(view_.wait_cursor());
}

TEST_F(ImageListViewTest, KeysTypedOnATerminalUntilEndOfInput) {
  TerminalImageListView terminal_user;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  const int saved_stdin = dup(STDIN_FILENO);
  dup2(terminal, STDIN_FILENO);
  // Sort by date, then end of input (Ctrl-D at the start of a line).
  const std::string typed = "3\n\x04";
  ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  const std::string shown = Show(*form_, terminal_user);
  dup2(saved_stdin, STDIN_FILENO);
  clearerr(stdin);
  close(saved_stdin);
  close(terminal);
  close(master);
  EXPECT_TRUE(form_->unloaded());
  EXPECT_EQ(Exams(), "1041 1042 1043 ");
  EXPECT_EQ(Count(shown, "key? "), 2u);
}

TEST_F(ImageListViewTest, WindowKeysFromTheEnvironment) {
  setenv("TAVIREX_WINDOW_KEYS", "3,o 1,,x", 1);
  const std::vector<std::string> keys = TerminalImageListView::KeysFromEnvironment();
  unsetenv("TAVIREX_WINDOW_KEYS");
  EXPECT_EQ(keys, (std::vector<std::string>{"3", "o 1", "x"}));
}

}  // namespace
}  // namespace tavirex
