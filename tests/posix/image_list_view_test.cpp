// The image list window on a terminal: its text, and keys (scripted or typed
// on a real pseudo-terminal) driving the form's handlers.
#include "ui/terminal/image_list_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "hostenv/posix/posix_platform.h"
#include "review/frm_image_files.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Three stored images of patient 4711 (and one of another patient) in C:\img.
class ImageListViewTest : public ::testing::Test {
 protected:
  ImageListViewTest() {
    std::string pattern = (fs::temp_directory_path() / "tavirex-view-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    fs::create_directories(root_ / "windows");
    fs::create_directories(root_ / "img");
    for (const char* name : {"4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg",
                             "4711_1043_a_b_c_d_e_OS_2017-01-02_09-00-00.jpg",
                             "4711_1041_a_b_c_d_e_OD_2015-12-24_08-30-00.jpg",
                             "0815_1_a_b_c_d_e_OS_2018-01-01_10-00-00.jpg"}) {
      std::ofstream(root_ / "img" / name) << "jpeg";
    }
    PosixPlatformOptions options;
    options.drive_roots['C'] = root_.string();
    options.module_dir = (root_ / "windows").string();
    options.interactive = false;
    platform_ = std::make_unique<PosixPlatform>(options);
    form_ = std::make_unique<FrmImageFiles>(*platform_, view_);
  }
  ~ImageListViewTest() override {
    unsetenv("TAVIREX_OPEN_COMMAND");
    fs::remove_all(root_);
  }

  void Load() { ASSERT_TRUE(form_->LoadGridWithFiles4PatID("4711", "C:\\img")); }

  // Shows the window and returns what it printed.
  std::string Show() {
    ::testing::internal::CaptureStderr();
    view_.ShowModal(*form_);
    return ::testing::internal::GetCapturedStderr();
  }

  std::vector<std::string> ExamColumn() {
    std::vector<std::string> exams;
    ImageGrid& grid = form_->grdImageFiles();
    for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) exams.push_back(grid.CellText(2, row));
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

TEST_F(ImageListViewTest, RendersTheVisibleColumnsAtTheGridWidths) {
  Load();
  // Widths 13, 9, 11, 10 and 6 characters; the time keeps the extension and
  // is clipped as the grid clips it; the hidden folder and name columns never
  // show; the newest image first and active.
  EXPECT_EQ(RenderImageList(*form_),
            "=== Tavirex Images ===\n"
            "Double-click a row to display the Tavirex image.\n"
            "Click on a column header to sort by that column.\n"
            "\n"
            "     [1]           [2]       [3]         [4]        [5]\n"
            " Row Patient #     Exam #    Date        Time       Eye\n"
            ">  1 4711          1043      1/2/2017    09:00:00.j OS\n"
            "   2 4711          1042      5/31/2016   14:05:09.j OD\n"
            "   3 4711          1041      12/24/2015  08:30:00.j OD\n"
            "\n"
            "                                        [ Exit ]\n"
            "keys: 1-5 click that column's header (sort) | o N double-click row N (open) | x "
            "Exit\n");

  FrmImageFiles empty(*platform_, view_);
  EXPECT_FALSE(empty.LoadGridWithFiles4PatID("9999", "C:\\img"));
  EXPECT_EQ(RenderImageGrid(empty.grdImageFiles()),
            "     [1]           [2]       [3]         [4]        [5]\n"
            " Row Patient #     Exam #    Date        Time       Eye\n"
            "     (no files)\n");
}

TEST_F(ImageListViewTest, ParsesKeyLines) {
  using Kind = WindowKey::Kind;
  struct Case {
    const char* line;
    Kind kind;
    std::int32_t number;
  };
  for (const Case& c : std::vector<Case>{{"3\n", Kind::kHeaderClick, 3},
                                         {" 1 ", Kind::kHeaderClick, 1},
                                         {"o 12", Kind::kOpenRow, 12},
                                         {"O2\r\n", Kind::kOpenRow, 2},
                                         {"x", Kind::kExit, 0},
                                         {"Q\n", Kind::kExit, 0},
                                         {"\x1b\n", Kind::kExit, 0},
                                         {"0", Kind::kInvalid, 0},
                                         {"12", Kind::kInvalid, 0},
                                         {"o", Kind::kInvalid, 0},
                                         {"o -1", Kind::kInvalid, 0},
                                         {"", Kind::kInvalid, 0}}) {
    WindowKey key = ParseWindowKey(c.line);
    EXPECT_EQ(key.kind, c.kind) << c.line;
    EXPECT_EQ(key.number, c.number) << c.line;
  }
}

TEST_F(ImageListViewTest, ScriptedHeaderKeysSortAndExitCloses) {
  Load();
  view_.QueueKeys({"3", "5", "9", "what", "2", "x", "1"});
  std::string shown = Show();
  EXPECT_TRUE(form_->unloaded());
  // Date clicked once: ascending; Eye and unknown keys change nothing; then
  // by exam number, descending again for the first key.
  EXPECT_EQ(ExamColumn(), (std::vector<std::string>{"1043", "1042", "1041"}));
  // Drawn at the start and after each key that changed it (3, 2).
  EXPECT_EQ(Count(shown, "=== Tavirex Images ==="), 3u);
  EXPECT_NE(shown.find("[Tavirex Images] key: 3\n"), std::string::npos);
  EXPECT_NE(shown.find("no column 9\n"), std::string::npos);
  EXPECT_EQ(Count(shown, "keys: 1-5"), 4u);  // 3 windows and the hint after "what"
  const std::size_t after_date = shown.find("key: 3");
  EXPECT_LT(shown.find(">  1 4711          1041", after_date), shown.find("key: 5"));
  // The key after Exit is left for the next window, which then closes.
  FrmImageFiles next(*platform_, view_);
  ::testing::internal::CaptureStderr();
  view_.ShowModal(next);
  const std::string next_shown = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(next.unloaded());
  EXPECT_NE(next_shown.find("key: 1\n"), std::string::npos);
  EXPECT_NE(next_shown.find("[Tavirex Images] no key left: Exit\n"), std::string::npos);
}

TEST_F(ImageListViewTest, OpenKeyLaunchesTheViewerForThatRow) {
  const fs::path record = root_ / "opened.txt";
  const fs::path viewer = root_ / "viewer.sh";
  std::ofstream(viewer) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record.string()
                        << ".tmp'\nmv '" << record.string() << ".tmp' '" << record.string()
                        << "'\n";
  fs::permissions(viewer, fs::perms::owner_all);
  setenv("TAVIREX_OPEN_COMMAND", viewer.c_str(), 1);
  Load();
  view_.QueueKeys({"o 2", "o 7", "x"});
  std::string shown = Show();

  for (int i = 0; i < 500 && !fs::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFile(record),
            (root_ / "img" / "4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg").string() + "\n");
  EXPECT_NE(shown.find("(opening...)\n"), std::string::npos);
  EXPECT_NE(shown.find("no row 7\n"), std::string::npos);
  EXPECT_FALSE(view_.wait_cursor());
  EXPECT_TRUE(platform_->shown_boxes().empty());
  EXPECT_EQ(form_->grdImageFiles().ActiveRow(), 2);
  EXPECT_NE(shown.find(">  2 4711"), std::string::npos);

  // No viewer: the form tells the user, through the scripted message box.
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "missing").c_str(), 1);
  FrmImageFiles again(*platform_, view_);
  ASSERT_TRUE(again.LoadGridWithFiles4PatID("4711", "C:\\img"));
  view_.QueueKeys({"o 1"});
  ::testing::internal::CaptureStderr();
  view_.ShowModal(again);
  ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(platform_->shown_boxes().size(), 1u);
  EXPECT_EQ(platform_->shown_boxes()[0].title, "Tavirex Interface");
  EXPECT_EQ(platform_->shown_boxes()[0].text,
            "There is no file association for the jpg file type.");
  EXPECT_TRUE(again.unloaded());
  EXPECT_FALSE(view_.wait_cursor());
}

TEST_F(ImageListViewTest, KeysTypedOnATerminalUntilEndOfInput) {
  Load();
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

  ::testing::internal::CaptureStderr();
  terminal_user.ShowModal(*form_);
  std::string shown = ::testing::internal::GetCapturedStderr();
  dup2(saved_stdin, STDIN_FILENO);
  clearerr(stdin);
  close(saved_stdin);
  close(terminal);
  close(master);

  EXPECT_TRUE(form_->unloaded());
  EXPECT_EQ(ExamColumn(), (std::vector<std::string>{"1041", "1042", "1043"}));
  EXPECT_EQ(Count(shown, "key? "), 2u);
  EXPECT_EQ(Count(shown, "=== Tavirex Images ==="), 2u);
}

TEST_F(ImageListViewTest, WindowKeysFromTheEnvironment) {
  setenv("TAVIREX_WINDOW_KEYS", "3,o 1,,x", 1);
  const std::vector<std::string> keys = TerminalImageListView::KeysFromEnvironment();
  unsetenv("TAVIREX_WINDOW_KEYS");
  EXPECT_EQ(keys, (std::vector<std::string>{"3", "o 1", "x"}));
}

}  // namespace
}  // namespace tavirex
