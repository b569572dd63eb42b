// The image list window on a terminal: key lines, scripted or typed on a
// real pseudo-terminal, driving the form's handlers, and what it shows.
#include "ui/terminal/image_list_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "hostenv/posix/posix_platform.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;

// Three stored images of patient 4711 (and one of another patient) in C:\img.
class ImageListViewTest : public ::testing::Test {
 protected:
  ImageListViewTest() {
    fs::create_directories(root_ / "img");
    for (const char* name : {"4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg",
                             "4711_1043_a_b_c_d_e_OS_2017-01-02_09-00-00.jpg",
                             "4711_1041_a_b_c_d_e_OD_2015-12-24_08-30-00.jpg",
                             "0815_1_a_b_c_d_e_OS_2018-01-01_10-00-00.jpg"}) {
      std::ofstream(root_ / "img" / name) << "jpeg";
    }
    EXPECT_TRUE(form_.LoadGridWithFiles4PatID("4711", "C:\\img"));
  }
  ~ImageListViewTest() override { fs::remove_all(root_); }

  std::string Show(FrmImageFiles& form, TerminalImageListView& view) {
    ::testing::internal::CaptureStderr();
    view.ShowModal(form);
    return ::testing::internal::GetCapturedStderr();
  }
  std::string Exams() {
    const ImageGrid& grid = form_.grdImageFiles();
    return grid.CellText(2, 1) + grid.CellText(2, 2) + grid.CellText(2, 3);
  }

  const fs::path root_ = fs::temp_directory_path() / ("tavirex-view-" + std::to_string(getpid()));
  PosixPlatform platform_{{root_.string(), root_.string(), {{'C', root_.string()}}, false, {}}};
  TerminalImageListView view_{{}, false};
  FrmImageFiles form_{platform_, view_};
};

TEST_F(ImageListViewTest, ParsesKeyLines) {
  using Kind = WindowKey::Kind;
  const std::tuple<const char*, Kind, std::int32_t> kKeys[] = {
      {"3\n", Kind::kHeaderClick, 3}, {" 1 ", Kind::kHeaderClick, 1}, {"o 12", Kind::kOpenRow, 12},
      {"O2\r\n", Kind::kOpenRow, 2},  {"x", Kind::kExit, 0},          {"Q\n", Kind::kExit, 0},
      {"\x1b\n", Kind::kExit, 0},     {"0", Kind::kInvalid, 0},       {"12", Kind::kInvalid, 0},
      {"o", Kind::kInvalid, 0},       {"o -1", Kind::kInvalid, 0},    {"", Kind::kInvalid, 0}};
  for (const auto& [line, kind, number] : kKeys) {
    EXPECT_EQ(ParseWindowKey(line).kind, kind) << line;
    EXPECT_EQ(ParseWindowKey(line).number, number) << line;
  }
}

TEST_F(ImageListViewTest, ScriptedKeysClickHeadersOpenRowsAndExit) {
  view_.QueueKeys({"3", "5", "9", "2", "x", "1"});
  const std::string shown = Show(form_, view_);
  EXPECT_TRUE(form_.unloaded());
  // Newest first; the date once: ascending; Eye and unknown keys change
  // nothing; the exam number: descending again. Redrawn after 3 and 2.
  const std::size_t after_date = shown.find("key: 3");
  EXPECT_LT(shown.find(">  1 4711          1043"), after_date);
  EXPECT_LT(shown.find(">  1 4711          1041", after_date), shown.find("key: 5"));
  EXPECT_EQ(Exams(), "104310421041");
  EXPECT_NE(shown.find("no column 9\n"), std::string::npos);
  EXPECT_EQ(shown.find("C:\\img"), std::string::npos);  // the hidden columns never show

  // The key after Exit is left for the next window, which then closes.
  FrmImageFiles next(platform_, view_);
  const std::string next_shown = Show(next, view_);
  EXPECT_TRUE(next.unloaded());
  EXPECT_NE(next_shown.find("key: 1\n"), std::string::npos);
  EXPECT_NE(next_shown.find("(no files)"), std::string::npos);

  // Opening row 2 without a viewer: the form's message, and the window closes.
  setenv("TAVIREX_OPEN_COMMAND", (root_ / "missing").c_str(), 1);
  FrmImageFiles again(platform_, view_);
  ASSERT_TRUE(again.LoadGridWithFiles4PatID("4711", "C:\\img"));
  view_.QueueKeys({"o 7", "o 2"});
  EXPECT_NE(Show(again, view_).find("no row 7\n"), std::string::npos);
  unsetenv("TAVIREX_OPEN_COMMAND");
  EXPECT_EQ(again.grdImageFiles().ActiveRow(), 2);
  ASSERT_EQ(platform_.shown_boxes().size(), 1u);
  EXPECT_EQ(platform_.shown_boxes()[0].text, "There is no file association for the jpg file type.");
  EXPECT_TRUE(again.unloaded());
  EXPECT_FALSE(view_.wait_cursor());
}

TEST_F(ImageListViewTest, KeysTypedOnATerminalUntilEndOfInput) {
  TerminalImageListView terminal_user;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  const int saved_stdin = dup(STDIN_FILENO);
  dup2(terminal, STDIN_FILENO);
  // Sort by date, then end of input (Ctrl-D at the start of a line).
  ASSERT_EQ(write(master, "3\n\x04", 3), 3);
  const std::string shown = Show(form_, terminal_user);
  dup2(saved_stdin, STDIN_FILENO);
  clearerr(stdin);
  for (int fd : {saved_stdin, terminal, master}) close(fd);
  EXPECT_TRUE(form_.unloaded());
  EXPECT_EQ(Exams(), "104110421043");
  EXPECT_NE(shown.find("key? "), shown.rfind("key? "));  // asked twice
}

}  // namespace
}  // namespace tavirex
