// Stored file names, the drop-folder listing, and the import and clearing of
// a drop folder, against real folders.
#include <sys/stat.h>

#include "capture/import.h"
#include "test_support.h"

namespace tavirex {
namespace {

using testing::ErrorOf;
using testing::Workstation;

TEST(Import, ParseFileNamePutsTheExamAfterTheFirstUnderscore) {
  Workstation ws;
  ClsTavirex& object = ws.NewObject();
  const std::tuple<std::string, std::int32_t, std::string> cases[] = {
      {"P1_A.jpg", 42, "C:\\Store\\P1_42_A.jpg"},
      {"A.jpg", 42, "C:\\Store\\42_A.jpg"},
      {"_x", 42, "C:\\Store\\_42_x"},
      {"", 42, "C:\\Store\\42_"},
      {"P1_A_B.jpg", -7, "C:\\Store\\P1_-7_A_B.jpg"},
      {"P1_A.jpg", 0, "C:\\Store\\P1_0_A.jpg"},
  };
  for (const auto& [exported, exam, stored] : cases) {
    object.props().ExamRecNum = exam;
    EXPECT_EQ(object.ParseFileName(exported, "C:\\Store"), stored);
  }
  EXPECT_EQ(ErrorOf([&] { object.ParseFileName(std::nullopt, "C:\\Store"); }), 94);
}

// One import or clearing. Files are "name=bytes", "!" after the bytes for a
// read-only file. The listing order is the file system's, so a failing case
// names the file whose handling fails, and every other file's fate follows
// from where it stands in the listing.
struct DropCase {
  std::string drop, store;  // the store's files are there before the import
  int error;
  std::string failing;          // "": no file is handled at all
  bool failing_copied = false;  // the delete failed
  bool clear = false;           // ClearDropFolder instead of the import
};

const DropCase kDropCases[] = {
    {"", "", 0, ""},
    {"P1_A.jpg=a A.jpg=b _x=c .hidden=d", "", 0, ""},
    {"P1_A.jpg=new", "P1_42_A.jpg=old", 0, ""},
    {"P1_A.jpg=a P1_B.jpg=b P1_C.jpg=c", "P1_42_B.jpg=old!", 70, "P1_B.jpg"},
    {"P1_A.jpg=a P1_B.jpg=b! P1_C.jpg=c", "", 70, "P1_B.jpg", true},
    {"P1_A.jpg=a p1_a.JPG=b P1_C.jpg=c", "", 457, ""},
    {"P1_A.jpg=a B=b", "", 0, "", false, true},
    {"P1_A.jpg=a p1_a.JPG=b", "", 457, "", false, true},
    {"P1_A.jpg=a P1_B.jpg=b! P1_C.jpg=c", "", 70, "P1_B.jpg", false, true},
};

TEST(Import, ImportAndClearDropFolder) {
  for (const DropCase& c : kDropCases) {
    SCOPED_TRACE(std::string(c.clear ? "clear " : "import ") + c.drop + " / " + c.store);
    Workstation ws;
    ClsTavirex& object = ws.NewObject();
    object.props().ExamRecNum = 42;
    for (const auto& [folder, files] : {std::pair{"drop/", c.drop}, std::pair{"store/", c.store}}) {
      fs::create_directories(ws.Path(folder));
      std::istringstream specs(files);
      for (std::string spec; specs >> spec;) {
        const std::string name = folder + spec.substr(0, spec.find('='));
        ws.Write(name, spec.substr(spec.find('=') + 1, spec.find('!') - spec.find('=') - 1));
        if (spec.back() == '!') chmod(ws.Path(name).c_str(), 0444);
      }
    }
    ws.Write("drop/sub/P1_S.jpg", "s");  // never imported or deleted
    const Folder exported = ws.Contents("drop"), stored_before = ws.Contents("store");
    const std::vector<std::string> listing = ws.platform().FolderFileNames("C:\\drop");

    EXPECT_EQ(ErrorOf([&] {
                c.clear ? ClearDropFolder(object, "C:\\drop")
                        : ImportDropFolder(object, "C:\\drop", "C:\\store");
              }),
              c.error);
    const Folder drop = ws.Contents("drop"), store = ws.Contents("store");
    auto get = [](const Folder& files, const std::string& name) {
      return files.count(name) ? files.at(name) : "-";
    };
    bool handled = c.error == 0 || !c.failing.empty();  // a failed listing handles nothing
    for (const std::string& name : listing) {
      const bool failing = name == c.failing;
      handled = handled && !failing;
      const std::string stored = object.ParseFileName(name, "").substr(1);
      EXPECT_EQ(get(drop, name), handled ? "-" : exported.at(name)) << name;
      EXPECT_EQ(get(store, stored), (handled && !c.clear) || (failing && c.failing_copied)
                                        ? exported.at(name)
                                        : get(stored_before, stored))
          << name;
    }
    EXPECT_TRUE(fs::exists(ws.Path("drop/sub/P1_S.jpg")));
    EXPECT_FALSE(fs::exists(ws.Path("store/sub")));
  }
}

TEST(Import, MissingFolderAndImportIntoItself) {
  Workstation ws;
  ClsTavirex& object = ws.NewObject();
  object.props().ExamRecNum = 42;
  EXPECT_EQ(ErrorOf([&] { ImportDropFolder(object, "C:\\missing", "C:\\store"); }), 76);
  EXPECT_EQ(ErrorOf([&] { ClearDropFolder(object, "C:\\missing"); }), 76);
  ws.Write("drop/P1_A.jpg", "a");
  ImportDropFolder(object, "C:\\drop", "C:\\drop");  // each file is renamed once
  EXPECT_EQ(ws.Contents("drop"), (Folder{{"P1_42_A.jpg", "a"}}));
}

}  // namespace
}  // namespace tavirex
