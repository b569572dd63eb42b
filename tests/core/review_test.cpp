// The review side on real folders: the image list window's loading, sorting
// and double-click (the viewer is a recording script), the viewer launch,
// ReviewDevice with a scripted user at the window, and the image count.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

#include "interface/cls_tavirex.h"
#include "review/frm_image_files.h"
#include "review/launch_file.h"
#include "test_support.h"
#include "winrules/utf8.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;
using testing::Workstation;

const std::string kNoViewer =
    "Tavirex Interface|There was a problem executing the default image viewer.\r\n Check that it "
    "is properly installed.|16";

// Sets the program that opens documents for as long as it lives.
class ScopedOpener {
 public:
  explicit ScopedOpener(const std::string& command) {
    if (const char* old = std::getenv(kVariable)) old_ = old;
    ::setenv(kVariable, command.c_str(), 1);
  }
  ~ScopedOpener() {
    if (old_) {
      ::setenv(kVariable, old_->c_str(), 1);
    } else {
      ::unsetenv(kVariable);
    }
  }

 private:
  static constexpr const char* kVariable = "TAVIREX_OPEN_COMMAND";
  std::optional<std::string> old_;
};

// field 0 key, 1 exam, 7 eye, 8 date, 9 time (with the extension).
std::string StoredName(const std::string& key, const std::string& exam, const std::string& eye,
                       const std::string& date, const std::string& time,
                       const std::string& field2 = "a") {
  return key + "_" + exam + "_" + field2 + "_b_c_d_e_" + eye + "_" + date + "_" + time + ".jpg";
}

std::string RowText(ImageGrid& grid, std::int32_t row) {
  std::string text;
  for (std::int32_t col = 1; col <= grid.MaxCols(); ++col) {
    text += (col > 1 ? "|" : "") + grid.CellText(col, row);
  }
  return text;
}

// Column `col` of all rows, joined by ",".
std::string Column(ImageGrid& grid, std::int32_t col) {
  std::string text;
  for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
    text += (row > 1 ? "," : "") + grid.CellText(col, row);
  }
  return text;
}

class ReviewTest : public ::testing::Test {
 protected:
  ReviewTest() {
    ws_.WriteHostIni("[System]\r\nPgmsDir=C:\\Praxo\r\nDataDir=C:\\Praxo\\Data\r\n");
    fs::create_directories(ws_.root() / "img");
  }

  fs::path Touch(const std::string& name, const std::string& folder = "img") {
    fs::create_directories(ws_.root() / folder);
    Workstation::WriteFile(ws_.root() / folder / name, "image");
    return ws_.root() / folder / name;
  }

  // The names the listing gives for the patient, in its order.
  std::vector<std::string> Listed(const std::string& pattern) {
    std::vector<std::string> names;
    ws_.platform().ListDirectory(pattern, [&](const std::string& name) {
      names.push_back(name);
      return true;
    });
    return names;
  }

  // A viewer that writes the path it was asked to open into opened.txt.
  std::string InstallViewer() {
    const fs::path script = ws_.root() / "viewer.sh";
    Workstation::WriteFile(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" +
                                       (ws_.root() / "opened.txt").string() + "'\n");
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
  }
  std::string Opened() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while ((text = Workstation::ReadFile(ws_.root() / "opened.txt")).empty() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return text;
  }

  ClsTavirex& NewObject(const std::string& device, const std::string& patient = "47-11") {
    object_.reset();
    module_ = std::make_unique<HostModule>(ws_.platform());
    object_ = std::make_unique<ClsTavirex>(*module_, user_);
    object_->props().DeviceName = device;
    object_->props().PATIENTID = patient;
    return *object_;
  }

  Workstation ws_;
  testing::WindowUser& user_ = ws_.window();
  std::unique_ptr<HostModule> module_;
  std::unique_ptr<ClsTavirex> object_;
};

TEST_F(ReviewTest, StoredNamesGiveTheirColumns) {
  struct Case {
    std::string name;
    std::string row;  // columns 1 to 5
  };
  const std::vector<Case> cases = {
      {"4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg", "4711|1042|5/31/2016|14:05:09.jpg|OD"},
      {"4711_7_a_b_c_d_e_OS_12-1-2016_9-00-00.tif", "4711|7|12/1/2016|9:00:00.tif|OS"},
      {"4711_7_a_b_c_d_e_OU_20160531_1-2-3", "4711|7|20160531|1:2:3|OU"},  // not a date
      {"4711_7_a_b_c_d_e_OD_2016-05-31_14-05-09_more.jpg", "4711|7|5/31/2016|14:05:09|OD"},
  };
  for (const Case& c : cases) {
    fs::remove_all(ws_.root() / "img");
    Touch(c.name);
    FrmImageFiles form(ws_.platform(), user_);
    EXPECT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img")) << c.name;
    ImageGrid& grid = form.grdImageFiles();
    ASSERT_EQ(grid.MaxRows(), 1) << c.name;
    EXPECT_EQ(RowText(grid, 1), c.row + "|C:\\img|" + c.name + "|");
    EXPECT_EQ(grid.ActiveRow(), 1);
    EXPECT_EQ(grid.ActiveCol(), 1);
  }
  EXPECT_TRUE(ws_.Boxes().empty());
}

TEST_F(ReviewTest, NoPatientFileGivesTheHeadersOnly) {
  Touch(StoredName("47110", "1", "OD", "2016-05-31", "14-05-09"));
  Touch(StoredName("4712", "1", "OD", "2016-05-31", "14-05-09"));
  Touch("4711.jpg");
  Touch(StoredName("4711", "1", "OD", "2016-05-31", "14-05-09"), "elsewhere");
  for (const char* folder : {"C:\\img", "C:\\missing", "C:\\elsewhere\\sub"}) {
    FrmImageFiles form(ws_.platform(), user_);
    EXPECT_FALSE(form.LoadGridWithFiles4PatID("4711", folder)) << folder;
    EXPECT_EQ(form.grdImageFiles().MaxRows(), 0) << folder;
    EXPECT_EQ(RowText(form.grdImageFiles(), 0), "Patient #|Exam #|Date|Time|Eye|File|File|File");
    EXPECT_EQ(form.grdImageFiles().VisibleCols(), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(form.Caption(), "Tavirex Images");
    EXPECT_EQ(form.lblInstructions().Caption, "Double-click a row to display the Tavirex image.");
  }
  EXPECT_TRUE(ws_.Boxes().empty());
}

// A name with too few fields stops the list; the rows listed before it stay,
// unsorted, and the row being filled holds only the key.
TEST_F(ReviewTest, ShortNamesStopTheListAtTheirStep) {
  struct Case {
    std::string name;
    bool folder;
    std::string step;
  };
  const std::vector<Case> cases = {
      {"4711_old", true, "36"},
      {"4711_1_a_b_c_d_e_OD.jpg", false, "36"},         // eight fields
      {"4711_1_a_b_c_d_e_OD_20160531", false, "37"},    // nine, no date
      {"4711_1_a_b_c_d_e_OD_2016-05-31", false, "38"},  // nine, a date
  };
  for (const Case& c : cases) {
    Workstation ws;
    fs::create_directories(ws.root() / "img");
    for (const std::string& name : {StoredName("4711", "1", "OD", "2015-01-02", "10-00-00"),
                                    StoredName("4711", "2", "OD", "2016-01-02", "10-00-00"),
                                    StoredName("4711", "3", "OD", "2017-01-02", "10-00-00")}) {
      Workstation::WriteFile(ws.root() / "img" / name, "");
    }
    if (c.folder) {
      fs::create_directories(ws.root() / "img" / c.name);
    } else {
      Workstation::WriteFile(ws.root() / "img" / c.name, "");
    }
    std::vector<std::string> listed;
    ws.platform().ListDirectory("C:\\img\\4711_*.*", [&](const std::string& name) {
      listed.push_back(name);
      return name != c.name;
    });

    FrmImageFiles form(ws.platform(), ws.window());
    EXPECT_FALSE(form.LoadGridWithFiles4PatID("4711", "C:\\img")) << c.name;
    ImageGrid& grid = form.grdImageFiles();
    ASSERT_EQ(grid.MaxRows(), static_cast<std::int32_t>(listed.size())) << c.name;
    for (std::size_t i = 0; i + 1 < listed.size(); ++i) {
      EXPECT_EQ(grid.CellText(7, static_cast<std::int32_t>(i + 1)), listed[i]) << c.name;
    }
    EXPECT_EQ(RowText(grid, grid.MaxRows()), "4711|||||||") << c.name;
    const std::string where = "LoadGridWithFiles4PatID=" + c.step;
    EXPECT_EQ(ws.Boxes(), std::vector<std::string>{"PXEquipIF TavirexIF Error|PXE_Tavirex IF "
                                                   "Error Num=9  Subscript out of range.\r\n" +
                                                   where + "|16"});
    EXPECT_NE(ws.ModuleFile("PX_IF_Tavirex.err").find(" Error in: " + where + "\r\n"),
              std::string::npos);
  }
}

// The row count is a 16-bit counter: the 32768th file overflows it.
TEST_F(ReviewTest, TheRowCountOverflowsAtThe32768thFile) {
  for (int i = 0; i < 32768; ++i) {
    std::ofstream(ws_.root() / "img" /
                  StoredName("4711", std::to_string(i), "OD", "2016-05-31", "14-05-09"));
  }
  FrmImageFiles form(ws_.platform(), user_);
  EXPECT_FALSE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
  EXPECT_EQ(form.grdImageFiles().MaxRows(), 32767);
  EXPECT_EQ(ws_.Boxes(),
            std::vector<std::string>{"PXEquipIF TavirexIF Error|PXE_Tavirex IF Error "
                                     "Num=6  Overflow.\r\nLoadGridWithFiles4PatID=25|16"});
}

TEST_F(ReviewTest, LongNamesSplitAfterSixtyAndJoinBackOnDoubleClick) {
  ScopedOpener opener(InstallViewer());
  // 42 characters besides the filler; lengths count UTF-16 units as VB does,
  // and the pair of the 27th emoji, at units 60 and 61, goes whole to the
  // second part.
  struct Case {
    const char* filler;
    int count;
    std::size_t first_part;
  };
  for (const Case& c : {Case{"x", 18, 60}, Case{"x", 19, 60}, Case{"x", 98, 60}, Case{"東", 19, 60},
                        Case{"😀", 27, 59}}) {
    std::string filler;
    for (int i = 0; i < c.count; ++i) filler += c.filler;
    const std::string name = StoredName("4711", "1", "OD", "2016-05-31", "14-05-09", filler);
    const std::string what = c.filler + std::to_string(c.count);
    fs::remove_all(ws_.root() / "img");
    fs::remove(ws_.root() / "opened.txt");
    const fs::path file = Touch(name);
    user_.cursor.clear();

    FrmImageFiles form(ws_.platform(), user_);
    ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
    ImageGrid& grid = form.grdImageFiles();
    EXPECT_EQ(Utf16Length(grid.CellText(7, 1)), c.first_part) << what;
    EXPECT_EQ(grid.CellText(7, 1) + grid.CellText(8, 1), name) << what;

    form.grdImageFiles_DblClick(2, 1);
    EXPECT_EQ(Opened(), file.string() + "\n") << what;
    EXPECT_EQ(user_.cursor, (std::vector<bool>{true, false}));
    EXPECT_EQ(grid.ActiveCol(), 8);
    EXPECT_EQ(grid.ActiveRow(), 1);
  }
  EXPECT_TRUE(ws_.Boxes().empty());
}

TEST_F(ReviewTest, NewestFirstThenHeaderClicksSort) {
  Touch(StoredName("4711", "1", "OS", "2016-05-31", "15-00-00"));
  Touch(StoredName("4711", "2", "OU", "2016-12-01", "09-00-00"));
  Touch(StoredName("4711", "3", "OD", "2016-05-31", "14-05-09"));
  Touch(StoredName("4711", "4", "OS", "2015-01-02", "23-59-59"));
  FrmImageFiles form(ws_.platform(), user_);
  ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
  ImageGrid& grid = form.grdImageFiles();
  // December after May: the dates compare as dates, not as texts.
  EXPECT_EQ(Column(grid, 2), "2,1,3,4");
  EXPECT_EQ(Column(grid, 3), "12/1/2016,5/31/2016,5/31/2016,1/2/2015");

  struct Click {
    std::int32_t col;
    std::int32_t row;
    std::string exams;  // column 2 afterwards
  };
  const std::vector<Click> clicks = {
      {3, 0, "4,3,1,2"},                     // date ascending, equal dates by eye
      {3, 0, "2,3,1,4"},                     // date descending, the eyes still ascending
      {4, 0, "2,3,1,4"},                     // time: the order alternates from the last click
      {4, 0, "4,1,3,2"}, {5, 0, "4,1,3,2"},  // the eye column does not sort
      {6, 0, "4,1,3,2"}, {3, 2, "4,1,3,2"},  // nor does a data row
      {2, 0, "1,2,3,4"}, {2, 0, "4,3,2,1"},
      {1, 0, "4,3,2,1"},  // one key for all rows: they keep their order
  };
  for (const Click& click : clicks) {
    form.grdImageFiles_Click(click.col, click.row);
    EXPECT_EQ(Column(grid, 2), click.exams) << click.col << "," << click.row;
    // The rows move whole.
    for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
      EXPECT_EQ(grid.CellText(7, row).substr(0, 7), "4711_" + grid.CellText(2, row) + "_");
    }
  }
  EXPECT_TRUE(user_.cursor.empty());
}

TEST_F(ReviewTest, DoubleClickSaysWhatTheShellSaid) {
  struct Case {
    std::string opener;
    bool remove_file;
    std::vector<std::string> boxes;
  };
  const std::string viewer = InstallViewer();
  const std::vector<Case> cases = {
      {viewer, false, {}},
      {"/nonexistent/viewer",
       false,
       {"Tavirex Interface|There is no file association for the jpg file type.|16"}},
      {viewer, true, {kNoViewer}},
  };
  for (const Case& c : cases) {
    ScopedOpener opener(c.opener);
    Workstation ws;
    fs::create_directories(ws.root() / "img");
    const std::string name = StoredName("4711", "1", "OD", "2016-05-31", "14-05-09");
    Workstation::WriteFile(ws.root() / "img" / name, "image");
    FrmImageFiles form(ws.platform(), ws.window());
    ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
    if (c.remove_file) fs::remove(ws.root() / "img" / name);

    form.grdImageFiles_DblClick(1, 0);  // the header row opens nothing
    EXPECT_TRUE(ws.window().cursor.empty());
    form.grdImageFiles_DblClick(1, 2);  // a row without a file
    EXPECT_TRUE(ws.Boxes().empty());
    EXPECT_EQ(form.grdImageFiles().ActiveCol(), 1);
    form.grdImageFiles_DblClick(1, 1);
    EXPECT_EQ(ws.Boxes(), c.boxes) << c.opener;
    if (c.boxes.empty()) {
      EXPECT_EQ(Opened(), (ws.root() / "img" / name).string() + "\n");
    }
    EXPECT_EQ(ws.window().cursor, (std::vector<bool>{true, false, true, false})) << c.opener;
    EXPECT_EQ(form.grdImageFiles().ActiveCol(), 8);
  }
}

TEST(LaunchFileTest, ResultsAndFileTypes) {
  Workstation ws;
  fs::create_directories(ws.root() / "img.d");
  for (const char* name : {"x.JPG", "a.b.jpg", "4711"}) {
    Workstation::WriteFile(ws.root() / "img.d" / name, "image");
  }
  struct Case {
    std::string path;
    std::string result;
  };
  const std::string no_viewer =
      "There was a problem executing the default image viewer.\r\n Check that it is properly "
      "installed.";
  const std::vector<Case> cases = {
      {"C:\\img.d\\x.JPG", "There is no file association for the JPG file type."},
      {"C:\\img.d\\a.b.jpg", "There is no file association for the jpg file type."},
      {"C:\\img.d\\4711", "There is no file association for the d\\4711 file type."},
      {"C:\\img.d\\missing.jpg", no_viewer},
      {"C:\\nowhere\\missing.jpg", no_viewer},
  };
  ScopedOpener opener("/nonexistent/viewer");
  for (const Case& c : cases) {
    EXPECT_EQ(LaunchFile(ws.platform(), c.path, 0), c.result) << c.path;
  }
  ScopedOpener viewer("/bin/true");
  EXPECT_EQ(LaunchFile(ws.platform(), "C:\\img.d\\x.JPG", 0), "Was OK");
  EXPECT_TRUE(ws.Boxes().empty());
}

TEST_F(ReviewTest, ReviewDeviceListsTheReviewFolderOrFallsBack) {
  struct Case {
    std::string equip_ini;
    std::string host_ini;
    std::string listed_folder;  // "" when nothing is listed
  };
  const std::string listing =
      "[Equipment]\r\nNumber=2\r\n1=5:x:Tavirex:Capture Vessara\r\n"
      "2=6:y:Tavirex:Review Vessara\r\n";
  const std::string host = "[System]\r\nPgmsDir=C:\\Praxo\r\nDataDir=C:\\Praxo\\Data\r\n";
  const std::string no_pgms = "[System]\r\nDataDir=C:\\Praxo\\Data\r\n";
  const std::vector<Case> cases = {
      {listing + "[6]\r\nEquipDataPath=C:\\rev\r\n[5]\r\nEquipDataPath=C:\\cap\r\n", host,
       "C:\\rev"},
      {listing + "[5]\r\nEquipDataPath=C:\\cap\r\n", host, "C:\\Praxo"},
      {listing + "[5]\r\nEquipDataPath=\"  C:\\cap  \"\r\n", no_pgms, "C:\\cap\\Data"},
      {"", no_pgms, ""},
  };
  const std::string name = StoredName("4711", "1042", "OD", "2016-05-31", "14-05-09");
  for (const char* folder : {"rev", "Praxo", "cap", "cap/Data"}) Touch(name, folder);
  for (const Case& c : cases) {
    ws_.WriteEquipIni(c.equip_ini);
    ws_.WriteHostIni(c.host_ini);
    ClsTavirex& object = NewObject("Review Vessara");
    std::string shown_folder = "none";
    std::int32_t rows = -1;
    user_.script = [&](FrmImageFiles& form) {
      rows = form.grdImageFiles().MaxRows();
      shown_folder = form.grdImageFiles().CellText(6, 1);
      EXPECT_EQ(form.Caption(), "Tavirex Images");
    };
    user_.windows_shown = 0;
    EXPECT_EQ(object.ReviewDevice(), "Was OK") << c.listed_folder;
    EXPECT_EQ(user_.windows_shown, 1);
    EXPECT_EQ(shown_folder, c.listed_folder);
    EXPECT_EQ(rows, c.listed_folder.empty() ? 0 : 1);
  }
}

TEST_F(ReviewTest, CountEqualsTheListedRows) {
  ws_.WriteEquipIni(
      "[Equipment]\r\nNumber=2\r\n1=5:x:Tavirex:Capture Vessara\r\n2=6:y:Tavirex:Review "
      "Vessara\r\n[6]\r\nEquipDataPath=C:\\img\r\n");
  int exam = 0;
  for (const char* key : {"AB47", "AB47", "AB47", "ab47", "Ab47", "AB470", "AB4"}) {
    Touch(StoredName(key, std::to_string(++exam), "OD", "2016-05-31", "14-05-09"));
  }
  for (const char* device : {"Review Vessara", "Capture Vessara"}) {
    ClsTavirex& object = NewObject(device, "A-B-47");
    EXPECT_EQ(object.NumPatientImageFiles(), 3) << device;
    EXPECT_EQ(object.props().EquipDataPath, "C:\\img");
  }
  FrmImageFiles form(ws_.platform(), user_);
  ASSERT_TRUE(form.LoadGridWithFiles4PatID("AB47", "C:\\img"));
  EXPECT_EQ(Column(form.grdImageFiles(), 1), "AB47,AB47,AB47");

  // A sub-folder counts as a file; the list stops at it.
  fs::create_directories(ws_.root() / "img" / "AB47_old");
  ClsTavirex& object = NewObject("Review Vessara", "AB47");
  EXPECT_EQ(object.NumPatientImageFiles(), 4);
  EXPECT_NE(object.props().LogoToolTip.find("  Images=4"), std::string::npos);
  FrmImageFiles stopped(ws_.platform(), user_);
  EXPECT_FALSE(stopped.LoadGridWithFiles4PatID("AB47", "C:\\img"));
  ASSERT_EQ(ws_.Boxes().size(), 1u);
  EXPECT_NE(ws_.Boxes()[0].find("\r\nLoadGridWithFiles4PatID=36|16"), std::string::npos);
}

TEST_F(ReviewTest, CountWithoutFolderIsZero) {
  Touch(StoredName("4711", "1", "OD", "2016-05-31", "14-05-09"));
  const std::regex tooltip(
      R"(Last Session: \d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d\d:\d\d [AP]M  Images=)");
  struct Case {
    std::string equip_ini;
    std::string device;
    std::string preset_folder;  // what the host left in EquipDataPath
    std::string folder;
    std::int32_t count;
  };
  const std::vector<Case> cases = {
      {"[Equipment]\r\nNumber=1\r\n1=6:y:Tavirex:Review "
       "Vessara\r\n[6]\r\nEquipDataPath=C:\\gone\r\n",
       "Review Vessara", "C:\\img", "C:\\gone", 0},
      {"", "Review Vessara", "C:\\img", "C:\\img", 1},  // no entry: the folder it held
      {"", "Review Vessara", "", "", 0},
      {"[0]\r\nEquipDataPath=C:\\img\r\n", "Nothing", "C:\\gone", "C:\\img", 1},
  };
  for (const Case& c : cases) {
    ws_.WriteEquipIni(c.equip_ini);
    ClsTavirex& object = NewObject(c.device);
    object.props().EquipDataPath = c.preset_folder;
    EXPECT_EQ(object.NumPatientImageFiles(), c.count) << c.folder;
    EXPECT_EQ(object.props().EquipDataPath, c.folder);
    const std::string& text = object.props().LogoToolTip;
    std::smatch match;
    EXPECT_TRUE(std::regex_search(text, match, tooltip) && match.position(0) == 0) << text;
    EXPECT_EQ(text.substr(text.rfind('=') + 1), std::to_string(c.count)) << text;
  }
  EXPECT_TRUE(ws_.Boxes().empty());

  // The host INI is asked for first, only so that its absence is shown.
  fs::remove(ws_.windows_dir() / "praxo32.ini");
  ClsTavirex& object = NewObject("Review Vessara");
  const std::size_t boxes = ws_.Boxes().size();
  object.props().EquipDataPath = "C:\\img";
  EXPECT_EQ(object.NumPatientImageFiles(), 1);
  EXPECT_EQ(ws_.Boxes().size(), boxes + 1);
  EXPECT_EQ(ws_.Boxes().back(), "Tavirex|Unable to find or read the praxo32.ini file.|16");
}

}  // namespace
}  // namespace tavirex
