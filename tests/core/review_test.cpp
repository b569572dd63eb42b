// The review side on real folders: the grid's sort, the image list window's
// loading, sorting and double-click, the viewer launch, ReviewDevice and the
// image count, with the scripted user at the window and as the viewer.
#include "plugin/review.h"
#include "test_support.h"
#include "winrules/utf8.h"

namespace tavirex {
namespace {

// Field 0 key, 1 exam, 7 eye, 8 date, 9 time (with the extension).
std::string Name(const std::string& key, const std::string& exam, const std::string& eye = "OD",
                 const std::string& date = "2016-05-31", const std::string& time = "14-05-09",
                 const std::string& field2 = "a") {
  return key + "_" + exam + "_" + field2 + "_b_c_d_e_" + eye + "_" + date + "_" + time + ".jpg";
}

TEST(Review, FieldsOfAStoredNameAndTheSixtyCharacterSplit) {
  const std::pair<std::string, std::string> cases[] = {
      // name, columns 1 to 5 or the split
      {Name("4711", "1042"), "4711|1042|5/31/2016|14:05:09.jpg|OD"},
      {"4711_7_a_b_c_d_e_OU_20160531_1-2-3", "4711|7|20160531|1:2:3|OU"},  // no date
      {"4711_7_a_b_c_d_e_OS_12-1-2016_9-00-00_more", "4711|7|12/1/2016|9:00:00|OS"},
      // Lengths count UTF-16 units, as VB does: an emoji's pair at units 60
      // and 61 goes whole to the second part.
      {Name("4711", "1", "OD", "2016-05-31", "14-05-09", std::string(18, 'x')), "60|"},
      {Name("4711", "1", "OD", "2016-05-31", "14-05-09", std::string(19, 'x')), "60|g"},
      {Name("4711", "1", "OD", "2016-05-31", "14-05-09", "😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"),
       "59|😀_b_c_d_e_OD_2016-05-31_14-05-09.jpg"}};
  for (const auto& [name, cells] : cases) {
    Workstation ws;
    ws.Write("img/" + name, "image");
    FrmImageFiles form(ws.user(), ws.user());
    ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img")) << name;
    ImageGrid& grid = form.grdImageFiles();
    ASSERT_EQ(grid.MaxRows(), 1);
    const std::string first = grid.CellText(7, 1), rest = grid.CellText(8, 1);
    if (cells.rfind("4711|", 0) == 0) {
      EXPECT_EQ(Cells(grid, 1), cells + "|C:\\img|" + name + "|");
    } else {
      EXPECT_EQ(std::to_string(Utf16Length(first)) + "|" + rest, cells);
    }
    form.grdImageFiles_DblClick(2, 1);  // opens the whole name
    EXPECT_EQ(ws.user().launched, Boxes{"open C:\\img\\" + name + "|||0"});
    EXPECT_EQ(ws.user().Shown(), "");
  }
}

// A name with too few fields stops the list at its step; the rows before it
// stay, unsorted, and the row being filled holds only the key. The 32768th
// file overflows the 16-bit row count.
TEST(Review, FailureSteps) {
  const std::string out_of_range = "9  Subscript out of range";
  const struct {
    std::string name, error, step;
    int files = 3;
  } cases[] = {{"4711_old/x", out_of_range, "36"},  // a folder
               {"4711_1_a_b_c_d_e_OD.jpg", out_of_range, "36"},
               {"4711_1_a_b_c_d_e_OD_20160531", out_of_range, "37"},
               {"4711_1_a_b_c_d_e_OD_2016-05-31", out_of_range, "38"},
               {"", "6  Overflow", "25", 32768}};
  for (const auto& c : cases) {
    Workstation ws;
    for (int i = 0; i < c.files; ++i) ws.Write("img/" + Name("4711", std::to_string(i)), "");
    if (!c.name.empty()) ws.Write("img/" + c.name, "");
    const std::string failing = c.name.substr(0, c.name.find('/'));
    std::vector<std::string> listed;  // up to the failing name
    ws.platform().ListDirectory("C:\\img\\4711_*.*", [&](const std::string& name) {
      listed.push_back(name);
      return name != failing && listed.size() < 32768;
    });
    FrmImageFiles form(ws.user(), ws.user());
    EXPECT_FALSE(form.LoadGridWithFiles4PatID("4711", "C:\\img")) << c.name;
    ImageGrid& grid = form.grdImageFiles();
    ASSERT_EQ(grid.MaxRows(), static_cast<std::int32_t>(listed.size() - (c.name.empty() ? 1 : 0)));
    for (std::int32_t row = 1; row < grid.MaxRows(); ++row) {
      EXPECT_EQ(grid.CellText(7, row), listed[row - 1]);
    }
    if (!c.name.empty()) {
      EXPECT_EQ(Cells(grid, grid.MaxRows()), "4711|||||||");
    }
    const std::string where = "LoadGridWithFiles4PatID=" + c.step;
    EXPECT_EQ(ws.user().Shown(), ErrorBox(c.error, where));
    EXPECT_NE(ws.Log("PX_IF_Tavirex.err").find(" Error in: " + where + "\r\n"), std::string::npos);
  }
}

TEST(Review, NewestFirstThenHeaderClicks) {
  Workstation ws;
  ws.Write("img/" + Name("4711", "1", "OS", "2016-05-31", "15-00-00"), "");
  ws.Write("img/" + Name("4711", "2", "OU", "2016-12-01", "09-00-00"), "");
  ws.Write("img/" + Name("4711", "3", "OD", "2016-05-31", "14-05-09"), "");
  ws.Write("img/" + Name("4711", "4", "OS", "2015-01-02", "23-59-59"), "");
  ws.Write("img/" + Name("47110", "5"), "");  // another patient's
  FrmImageFiles form(ws.user(), ws.user());
  ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
  ImageGrid& grid = form.grdImageFiles();
  EXPECT_EQ(Cells(grid, 0, 2), "2|1|3|4");  // December after May: dates compare as dates
  EXPECT_EQ(grid.ActiveCol() * 10 + grid.ActiveRow(), 11);
  const std::tuple<std::int32_t, std::int32_t, std::string> clicks[] = {
      // col, row, exams
      {3, 0, "4|3|1|2"},                     // date ascending, equal dates by eye
      {3, 0, "2|3|1|4"},                     // date descending, the eyes still ascending
      {4, 0, "2|3|1|4"},                     // time: the order alternates from the last click
      {4, 0, "4|1|3|2"}, {5, 0, "4|1|3|2"},  // the eye column does not sort
      {6, 0, "4|1|3|2"}, {3, 2, "4|1|3|2"},  // nor does a hidden column or a data row
      {2, 0, "1|2|3|4"}, {2, 0, "4|3|2|1"},
      {1, 0, "4|3|2|1"},  // one key for all rows: they keep their order
  };
  for (const auto& [col, row, exams] : clicks) {
    form.grdImageFiles_Click(col, row);
    EXPECT_EQ(Cells(grid, 0, 2), exams) << col << "," << row;
  }
}

TEST(Review, DoubleClickSaysWhatTheShellSaid) {
  const std::string viewer =
      "Tavirex Interface|There was a problem executing the default image "
      "viewer.\r\n Check that it is properly installed.|16\n";
  const std::string assoc = "Tavirex Interface|There is no file association for the ";
  const std::tuple<std::intptr_t, std::string, std::string> cases[] = {
      {33, "x.jpg", ""},
      {shellexec::kNoAssociation, "x.a.jpg", assoc + "jpg file type.|16\n"},
      {shellexec::kNoAssociation, "x.JPG", assoc + "JPG file type.|16\n"},
      {shellexec::kFileNotFound, "x.jpg", viewer},
      {shellexec::kLastFailure, "x.jpg", viewer}};
  for (const auto& [result, type, shown] : cases) {
    Workstation ws;
    ws.Write("img/4711_1_a_b_c_d_e_OD_x_" + type, "image");
    ws.user().shell_result = result;
    FrmImageFiles form(ws.user(), ws.user());
    ASSERT_TRUE(form.LoadGridWithFiles4PatID("4711", "C:\\img"));
    form.grdImageFiles_DblClick(1, 0);  // the header row opens nothing
    form.grdImageFiles_DblClick(1, 2);  // nor does a row without a file
    EXPECT_EQ(ws.user().launched.size() * 10 + form.grdImageFiles().ActiveCol(), 1u);
    form.grdImageFiles_DblClick(1, 1);
    EXPECT_EQ(ws.user().Shown(), shown) << result;
    EXPECT_EQ(ws.user().launched.size() * 10 + form.grdImageFiles().ActiveCol(), 18u);
    EXPECT_EQ(ws.user().cursor, "wait,normal,wait,normal,") << result;
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
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // equip, host, listed
      {list + "[6]\nEquipDataPath=C:\\rev\n[5]\nEquipDataPath=C:\\cap\n", pgms, "1C:\\rev"},
      {list + "[5]\nEquipDataPath=C:\\cap\n", pgms, "1C:\\Praxo"},
      {list + "[5]\nEquipDataPath=\"  C:\\cap  \"\n", "", "1C:\\cap\\Data"},
      {"", "", "0"},
      {list + "[6]\nEquipDataPath=C:\\rev\\sub\n", pgms, "0"}};
  for (const auto& [equip_ini, host_ini, listed] : cases) {
    Workstation ws;
    ws.WriteEquipIni(equip_ini);
    ws.WriteHostIni(host_ini);
    for (const std::string folder : {"rev", "Praxo", "cap", "cap/Data"}) {
      ws.Write(folder + "/" + Name("4711", "1"), "");
    }
    ClsTavirex& object = ws.NewObject("Review Vessara");
    std::string shown = "none";
    ws.user().at_window = [&](FrmImageFiles& form) {
      ImageGrid& grid = form.grdImageFiles();
      shown = std::to_string(grid.MaxRows()) + grid.CellText(6, 1);
      EXPECT_EQ(Cells(grid, 0), "Patient #|Exam #|Date|Time|Eye|File|File|File");
      EXPECT_EQ(grid.VisibleCols(), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
      EXPECT_EQ(form.Caption() + "|" + form.lblInstructions().Caption + "|" +
                    form.lblSortInstructions().Caption,
                "Tavirex Images|Double-click a row to display the Tavirex image.|Click on a "
                "column header to sort by that column.");
    };
    EXPECT_EQ(object.ReviewDevice(), "Was OK");
    EXPECT_EQ(ws.user().windows_shown, 1);
    EXPECT_EQ(shown, listed);
  }
}

// The count: files of the patient (the key exactly, case included; a folder
// too) in the Review twin's folder, or the folder the host left.
TEST(Review, CountAndTooltip) {
  const std::string review6 = "[Equipment]\nNumber=1\n1=6:y:Tavirex:Review Vessara\n[6]\n";
  const struct {
    std::string equip_ini, device, preset, folder;
    std::int32_t count;
    std::string host_ini = "[System]\nPgmsDir=C:\\P\nDataDir=C:\\D\n", box = "";
  } cases[] = {{review6 + "EquipDataPath=C:\\img\n", "Review Vessara", "C:\\gone", "C:\\img", 4},
               {review6 + "EquipDataPath=C:\\img\n", "Capture Vessara", "C:\\gone", "C:\\img", 4},
               {review6 + "EquipDataPath=C:\\gone\n", "Review Vessara", "C:\\img", "C:\\gone", 0},
               {"", "Review Vessara", "C:\\img", "C:\\img", 4},
               {"", "Review Vessara", "", "", 0},
               {"[0]\nEquipDataPath=C:\\other\n", "Nothing", "C:\\img", "C:\\other", 1},
               // The host INI is read only so that its absence is shown.
               {"", "Review Vessara", "C:\\img", "C:\\img", 4, "", "Tavirex" + kNoIni}};
  for (const auto& c : cases) {
    Workstation ws;
    ws.WriteHostIni(c.host_ini);
    ws.WriteEquipIni(c.equip_ini);
    int exam = 0;
    for (const char* key : {"AB47", "AB47", "AB47", "ab47", "Ab47", "AB470", "AB4"}) {
      ws.Write("img/" + Name(key, std::to_string(++exam)), "");
    }
    fs::create_directories(ws.Path("img/AB47_old"));
    ws.Write("other/" + Name("AB47", "1"), "");
    ClsTavirex& object = ws.NewObject(c.device, "A-B-47");
    object.props().EquipDataPath = c.preset;
    ws.user().boxes.clear();
    EXPECT_EQ(object.NumPatientImageFiles(), c.count) << c.device << " " << c.folder;
    EXPECT_EQ(object.props().EquipDataPath, c.folder);
    EXPECT_EQ(object.props().LogoToolTip,
              "Last Session: 12/4/2026 4:12:40 PM  Images=" + std::to_string(c.count));
    EXPECT_EQ(ws.user().Shown(), c.box);
  }
}

// The grid's own sort on one key; the form's two keys and dates are in
// NewestFirstThenHeaderClicks.
TEST(ImageGrid, SortOrders) {
  constexpr std::int32_t kUp = grid::kSortOrderAscending;
  const std::tuple<std::vector<std::string>, std::int32_t, std::string> cases[] = {
      // keys, order, the rows' original positions after the sort
      {{"2016-05-31", "12/1/2016"}, kUp, "0|1"},
      {{"b", "A", "a", "B", "ab"}, kUp, "1|2|4|3|0"},  // case breaks ties only
      {{"b", "A", "a", "B", "ab"}, grid::kSortOrderDescending, "0|3|4|2|1"},
      {{"Zulu", "12/1/2016", ""}, kUp, "2|1|0"},  // a date and a text: as texts
      {{"x", "y", "x", "x"}, kUp, "0|2|3|1"},     // equal rows keep their order
      {{"x", "y", "x", "x"}, grid::kSortOrderDescending, "1|0|2|3"},
      {{"b", "a"}, grid::kSortOrderNone, "0|1"}};
  Workstation ws;
  for (const auto& [keys, order, tags] : cases) {
    ImageGrid grid(ws.platform());
    grid.SetMaxCols(2);
    grid.SetMaxRows(static_cast<std::int32_t>(keys.size()));
    for (std::int32_t row = 1; row <= grid.MaxRows(); ++row) {
      grid.SetRow(row);
      grid.SetCol(1);
      grid.SetText(keys[row - 1]);
      grid.SetCol(2);
      grid.SetText(std::to_string(row - 1));
    }
    grid.SetSortKey(1, 1);
    grid.SetSortKeyOrder(1, order);
    grid.SetCol(1);
    grid.SetCol2(2);
    grid.SetRow(1);
    grid.SetRow2(grid.DataRowCnt());
    grid.SetAction(grid::kActionSort);
    EXPECT_EQ(Cells(grid, 0, 2), tags) << keys[0] << " order " << order;
  }
}

}  // namespace
}  // namespace tavirex
