// The review side on real folders: the image list window's loading, sorting
// and double-click, the viewer launch, ReviewDevice and the image count, with
// the scripted user at the window and as the viewer.
#include <gtest/gtest.h>

#include "review/frm_image_files.h"
#include "review/launch_file.h"
#include "test_support.h"
#include "winrules/utf8.h"

namespace tavirex {
namespace {

using testing::Workstation;
using Boxes = std::vector<std::string>;

// Field 0 key, 1 exam, 7 eye, 8 date, 9 time (with the extension).
std::string Name(const std::string& key, const std::string& exam, const std::string& eye,
                 const std::string& date, const std::string& time, const std::string& f2 = "a") {
  return key + "_" + exam + "_" + f2 + "_b_c_d_e_" + eye + "_" + date + "_" + time + ".jpg";
}

// The cells of a row, or of a column, joined by "|".
std::string Row(ImageGrid& grid, std::int32_t row) {
  std::string text;
  for (std::int32_t col = 1; col <= grid.MaxCols(); ++col) {
    text += (col > 1 ? "|" : "") + grid.CellText(col, row);
  }
  return text;
}
std::string Column(ImageGrid& grid, std::int32_t col) {
  std::string text;
  for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
    text += (row > 1 ? "|" : "") + grid.CellText(col, row);
  }
  return text;
}

TEST(Review, FieldsOfAStoredNameAndTheSixtyCharacterSplit) {
  const std::string x42(42, 'x');
  struct Case {
    std::string name;
    std::string row;  // columns 1 to 5, then the name's two parts
  } const cases[] = {
      {"4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg",
       "4711|1042|5/31/"
       "2016|14:05:09.jpg|OD|C:\\img|4711_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg|"},
      {"4711_7_a_b_c_d_e_OU_20160531_1-2-3",
       "4711|7|20160531|1:2:3|OU|C:\\img|"
       "4711_7_a_b_c_d_e_OU_20160531_1-2-3|"},  // no date
      {"4711_7_a_b_c_d_e_OS_12-1-2016_9-00-00_more",
       "4711|7|12/1/2016|9:00:00|OS|C:\\img|"
       "4711_7_a_b_c_d_e_OS_12-1-2016_9-00-00_more|"},
      // Lengths count UTF-16 units, as VB does: an emoji's pair at units 60
      // and 61 goes whole to the second part.
      {Name("4711", "1", "OD", "2016-05-31", "14-05-09", std::string(18, 'x')), "60|"},
      {Name("4711", "1", "OD", "2016-05-31", "14-05-09", std::string(19, 'x')), "60|g"},
      {Name("4711", "1", "OD", "2016-05-31", "14-05-09", "東東東東東東東東東東東東東東東東東東東"),
       "60|g"},
      {Name("4711", "1", "OD", "2016-05-31", "14-05-09", "😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"),
       "59|😀_b_c_d_e_OD_2016-05-31_14-05-09.jpg"},
  };
  for (const Case& c : cases) {
    Workstation ws;
    ws.Write("img/" + c.name, "image");
    FrmImageFiles form(ws.user(), ws.user());
    ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img")) << c.name;
    ImageGrid& grid = form.grdImageFiles();
    ASSERT_EQ(grid.MaxRows(), 1);
    if (c.row.size() < 50) {  // the name's split: length of the first part | the rest
      EXPECT_EQ(std::to_string(Utf16Length(grid.CellText(7, 1))) + "|" + grid.CellText(8, 1),
                c.row);
    } else {
      EXPECT_EQ(Row(grid, 1), c.row);
    }
    EXPECT_EQ(grid.CellText(7, 1) + grid.CellText(8, 1), c.name);
    form.grdImageFiles_DblClick(2, 1);  // opens the whole name
    EXPECT_EQ(ws.user().launched, Boxes{"C:\\img\\" + c.name + "||"});
    EXPECT_EQ(ws.user().boxes, Boxes{});
  }
}

// No file of the patient: the headers only.
TEST(Review, EmptyListAndTheWindowItself) {
  Workstation ws;
  for (const char* name : {"47110_1_a_b_c_d_e_OD_x_y", "4712_1_a", "4711.jpg"}) {
    ws.Write(std::string("img/") + name, "");
  }
  ws.Write("other/4711_1_a_b_c_d_e_OD_x_y", "");
  for (const char* folder : {"C:\\img", "C:\\missing", "C:\\other\\sub"}) {
    FrmImageFiles form(ws.user(), ws.user());
    EXPECT_FALSE(form.LoadGridWithFiles4PatID("4711", folder)) << folder;
    EXPECT_EQ(form.grdImageFiles().MaxRows(), 0);
    EXPECT_EQ(Row(form.grdImageFiles(), 0), "Patient #|Exam #|Date|Time|Eye|File|File|File");
    EXPECT_EQ(form.grdImageFiles().VisibleCols(), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(form.Caption() + "|" + form.lblInstructions().Caption + "|" +
                  form.lblSortInstructions().Caption,
              "Tavirex Images|Double-click a row to display the Tavirex image.|Click on a column "
              "header to sort by that column.");
  }
  EXPECT_EQ(ws.user().boxes, Boxes{});
}

// A name with too few fields stops the list at its step; the rows before it
// stay, unsorted, and the row being filled holds only the key. The 32768th
// file overflows the 16-bit row count.
TEST(Review, FailureSteps) {
  const struct {
    std::string name;
    std::string failure;
    int files = 3;
  } cases[] = {
      {"4711_old/", "9  Subscript out of range.\r\nLoadGridWithFiles4PatID=36"},  // a folder
      {"4711_1_a_b_c_d_e_OD.jpg", "9  Subscript out of range.\r\nLoadGridWithFiles4PatID=36"},
      {"4711_1_a_b_c_d_e_OD_20160531", "9  Subscript out of range.\r\nLoadGridWithFiles4PatID=37"},
      {"4711_1_a_b_c_d_e_OD_2016-05-31",
       "9  Subscript out of range.\r\nLoadGridWithFiles4PatID=38"},
      {"", "6  Overflow.\r\nLoadGridWithFiles4PatID=25", 32768},
  };
  for (const auto& c : cases) {
    Workstation ws;
    for (int i = 0; i < c.files; ++i) {
      ws.Write("img/" + Name("4711", std::to_string(i), "OD",
                             "2015-01-0" + std::to_string(i % 9 + 1), "1-0-0"),
               "");
    }
    if (!c.name.empty()) ws.Write("img/" + c.name + (c.name.back() == '/' ? "x" : ""), "");
    std::vector<std::string> listed;  // up to the failing name
    ws.platform().ListDirectory("C:\\img\\4711_*.*", [&](const std::string& name) {
      listed.push_back(name);
      return name + "/" != c.name && name != c.name && listed.size() < 32768;
    });
    FrmImageFiles form(ws.user(), ws.user());
    EXPECT_FALSE(form.LoadGridWithFiles4PatID("4711", "C:\\img")) << c.name;
    ImageGrid& grid = form.grdImageFiles();
    ASSERT_EQ(grid.MaxRows(), static_cast<std::int32_t>(listed.size() - (c.name.empty() ? 1 : 0)));
    for (std::int32_t row = 1; row < grid.MaxRows(); ++row) {
      EXPECT_EQ(grid.CellText(7, row), listed[row - 1]);
    }
    if (!c.name.empty()) {
      EXPECT_EQ(Row(grid, grid.MaxRows()), "4711|||||||");
    }
    EXPECT_EQ(ws.user().boxes,
              Boxes{"PXEquipIF TavirexIF Error|PXE_Tavirex IF Error Num=" + c.failure + "|16"});
    EXPECT_NE(ws.Log("PX_IF_Tavirex.err")
                  .find(" Error in: " + c.failure.substr(c.failure.find("\r\n") + 2) + "\r\n"),
              std::string::npos);
  }
}

TEST(Review, NewestFirstThenHeaderClicks) {
  Workstation ws;
  ws.Write("img/" + Name("4711", "1", "OS", "2016-05-31", "15-00-00"), "");
  ws.Write("img/" + Name("4711", "2", "OU", "2016-12-01", "09-00-00"), "");
  ws.Write("img/" + Name("4711", "3", "OD", "2016-05-31", "14-05-09"), "");
  ws.Write("img/" + Name("4711", "4", "OS", "2015-01-02", "23-59-59"), "");
  FrmImageFiles form(ws.user(), ws.user());
  ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
  ImageGrid& grid = form.grdImageFiles();
  // December after May: dates compare as dates.
  EXPECT_EQ(Column(grid, 2), "2|1|3|4");
  EXPECT_EQ(grid.ActiveCol() * 10 + grid.ActiveRow(), 11);
  const struct {
    std::int32_t col, row;
    std::string exams;  // column 2 afterwards
  } clicks[] = {
      {3, 0, "4|3|1|2"},                     // date ascending, equal dates by eye
      {3, 0, "2|3|1|4"},                     // date descending, the eyes still ascending
      {4, 0, "2|3|1|4"},                     // time: the order alternates from the last click
      {4, 0, "4|1|3|2"}, {5, 0, "4|1|3|2"},  // the eye column does not sort
      {6, 0, "4|1|3|2"}, {3, 2, "4|1|3|2"},  // nor does a hidden column or a data row
      {2, 0, "1|2|3|4"}, {2, 0, "4|3|2|1"},
      {1, 0, "4|3|2|1"},  // one key for all rows: they keep their order
  };
  for (const auto& click : clicks) {
    form.grdImageFiles_Click(click.col, click.row);
    EXPECT_EQ(Column(grid, 2), click.exams) << click.col << "," << click.row;
    for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {  // rows move whole
      EXPECT_EQ(grid.CellText(7, row).substr(0, 7), "4711_" + grid.CellText(2, row) + "_");
    }
  }
  EXPECT_EQ(ws.user().cursor, "");
}

TEST(Review, DoubleClickSaysWhatTheShellSaid) {
  const std::string no_viewer =
      "Tavirex Interface|There was a problem executing the default image viewer.\r\n Check that "
      "it is properly installed.|16";
  const struct {
    std::intptr_t result;
    std::string name;
    Boxes boxes;
  } cases[] = {
      {33, "4711_1_a_b_c_d_e_OD_x_y.jpg", {}},
      {shellexec::kNoAssociation,
       "4711_1_a_b_c_d_e_OD_x_y.JPG",
       {"Tavirex Interface|There is no file association for the JPG file type.|16"}},
      {shellexec::kNoAssociation,
       "4711_1_a_b_c_d_e_OD_x_y.a.jpg",
       {"Tavirex Interface|There is no file association for the jpg file type.|16"}},
      {shellexec::kFileNotFound, "4711_1_a_b_c_d_e_OD_x_y.jpg", {no_viewer}},
      {shellexec::kLastFailure, "4711_1_a_b_c_d_e_OD_x_y.jpg", {no_viewer}},
  };
  for (const auto& c : cases) {
    Workstation ws;
    ws.Write("img/" + c.name, "image");
    ws.user().shell_result = c.result;
    FrmImageFiles form(ws.user(), ws.user());
    ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
    form.grdImageFiles_DblClick(1, 0);  // the header row opens nothing
    form.grdImageFiles_DblClick(1, 2);  // nor does a row without a file
    EXPECT_EQ(ws.user().launched.size(), 0u);
    EXPECT_EQ(form.grdImageFiles().ActiveCol(), 1);
    form.grdImageFiles_DblClick(1, 1);
    EXPECT_EQ(ws.user().boxes, c.boxes) << c.result;
    EXPECT_EQ(ws.user().launched.size(), 1u);
    EXPECT_EQ(ws.user().cursor, "wait,normal,wait,normal,") << c.result;
    EXPECT_EQ(form.grdImageFiles().ActiveCol(), 8);
  }
  Workstation ws;  // a name without a dot: the type is what follows the folder's
  ws.user().shell_result = shellexec::kNoAssociation;
  EXPECT_EQ(LaunchFile(ws.user(), "C:\\img.d\\4711", 0),
            "There is no file association for the d\\4711 file type.");
}

// ReviewDevice lists its own folder, else the host's program folder, else
// the Capture twin's folder's "Data".
TEST(Review, ReviewDeviceFolder) {
  const std::string list =
      "[Equipment]\nNumber=2\n1=5:x:Tavirex:Capture Vessara\n2=6:y:Tavirex:Review Vessara\n";
  const std::string pgms = "[System]\nPgmsDir=C:\\Praxo\n";
  const struct {
    std::string equip_ini, host_ini, listed;  // "" when nothing is listed
  } cases[] = {
      {list + "[6]\nEquipDataPath=C:\\rev\n[5]\nEquipDataPath=C:\\cap\n", pgms, "C:\\rev"},
      {list + "[5]\nEquipDataPath=C:\\cap\n", pgms, "C:\\Praxo"},
      {list + "[5]\nEquipDataPath=\"  C:\\cap  \"\n", "", "C:\\cap\\Data"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    Workstation ws;
    ws.WriteEquipIni(c.equip_ini);
    ws.WriteHostIni(c.host_ini);
    for (const char* folder : {"rev", "Praxo", "cap", "cap/Data"}) {
      ws.Write(std::string(folder) + "/" + Name("4711", "1", "OD", "2016-05-31", "14-05-09"), "");
    }
    ClsTavirex& object = ws.NewObject("Review Vessara");
    std::string shown = "none";
    ws.user().at_window = [&](FrmImageFiles& form) {
      shown = std::to_string(form.grdImageFiles().MaxRows()) + form.grdImageFiles().CellText(6, 1);
    };
    EXPECT_EQ(object.ReviewDevice(), "Was OK");
    EXPECT_EQ(ws.user().windows_shown, 1);
    EXPECT_EQ(shown, (c.listed.empty() ? "0" : "1") + c.listed);
  }
}

// The count: files of the patient (the key exactly, case included) in the
// Review twin's folder, or the folder the host left.
TEST(Review, CountAndTooltip) {
  const std::string review6 = "[Equipment]\nNumber=1\n1=6:y:Tavirex:Review Vessara\n[6]\n";
  const struct {
    std::string equip_ini, device, preset, folder;
    std::int32_t count;
  } cases[] = {
      {review6 + "EquipDataPath=C:\\img\n", "Review Vessara", "C:\\gone", "C:\\img", 4},
      {review6 + "EquipDataPath=C:\\img\n", "Capture Vessara", "C:\\gone", "C:\\img", 4},
      {review6 + "EquipDataPath=C:\\gone\n", "Review Vessara", "C:\\img", "C:\\gone", 0},
      {"", "Review Vessara", "C:\\img", "C:\\img", 4},
      {"", "Review Vessara", "", "", 0},
      {"[0]\nEquipDataPath=C:\\other\n", "Nothing", "C:\\img", "C:\\other", 1},
  };
  for (const auto& c : cases) {
    Workstation ws;
    ws.WriteHostIni("[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n");
    ws.WriteEquipIni(c.equip_ini);
    int exam = 0;
    for (const char* key : {"AB47", "AB47", "AB47", "ab47", "Ab47", "AB470", "AB4"}) {
      ws.Write(std::string("img/") + Name(key, std::to_string(++exam), "OD", "x", "y"), "");
    }
    fs::create_directories(ws.Path("img/AB47_old"));  // a folder counts too
    ws.Write("other/" + Name("AB47", "1", "OD", "x", "y"), "");
    ClsTavirex& object = ws.NewObject(c.device, "A-B-47");
    object.props().EquipDataPath = c.preset;
    EXPECT_EQ(object.NumPatientImageFiles(), c.count) << c.device << " " << c.folder;
    EXPECT_EQ(object.props().EquipDataPath, c.folder);
    EXPECT_EQ(object.props().LogoToolTip,
              "Last Session: 12/4/2026 4:12:40 PM  Images=" + std::to_string(c.count));
    EXPECT_EQ(ws.user().boxes, Boxes{});
  }
  // The host INI is read only so that its absence is shown.
  Workstation ws;
  ws.Write("img/AB47_1", "");
  ClsTavirex& object = ws.NewObject("Review Vessara", "AB47");
  object.props().EquipDataPath = "C:\\img";
  ws.user().boxes.clear();
  EXPECT_EQ(object.NumPatientImageFiles(), 1);
  EXPECT_EQ(ws.user().boxes, Boxes{"Tavirex|Unable to find or read the praxo32.ini file.|16"});
}

}  // namespace
}  // namespace tavirex
