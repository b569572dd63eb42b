// Stored file names, the drop-folder listing, the import and the clearing,
// against real folders.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/import.h"
#include "hostenv/host_paths.h"
#include "interface/cls_tavirex.h"
#include "test_support.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace {

namespace fs = std::filesystem;
using FolderContents = std::map<std::string, std::string>;  // file name -> bytes

std::optional<std::string> Find(const FolderContents& contents, const std::string& name) {
  auto it = contents.find(name);
  if (it == contents.end()) return std::nullopt;
  return it->second;
}

struct FileSpec {
  const char* name;
  const char* bytes;
  bool read_only = false;
};

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() {
    ws_.WriteHostIni("[System]\nPgmsDir=C:\\Pgms\nDataDir=C:\\Data\n");
    module_.emplace(ws_.platform());
    object_.emplace(*module_, ws_.window());
    object_->props().ExamRecNum = 42;
  }

  // "C:\<folder>" as seen by the plug-in.
  fs::path Local(const std::string& folder) { return ws_.root() / folder; }
  static std::string Win(const std::string& folder) { return "C:\\" + folder; }

  void Put(const std::string& folder, const FileSpec& file) {
    fs::create_directories(Local(folder));
    fs::path path = Local(folder) / file.name;
    testing::Workstation::WriteFile(path, file.bytes);
    if (file.read_only) chmod(path.c_str(), 0444);
  }

  FolderContents Contents(const std::string& folder) {
    FolderContents contents;
    if (!fs::exists(Local(folder))) return contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(Local(folder))) {
      if (!entry.is_regular_file()) continue;
      contents[entry.path().filename().string()] = testing::Workstation::ReadFile(entry.path());
    }
    return contents;
  }

  // No exported file's bytes are lost: each one is still in the drop folder
  // or lies in the store folder under its stored name.
  void ExpectNoExportLost(const FolderContents& exported) {
    FolderContents drop_now = Contents("drop");
    FolderContents store_now = Contents("store");
    for (const auto& [name, bytes] : exported) {
      EXPECT_TRUE(Find(drop_now, name) == bytes || Find(store_now, Stored(name)) == bytes)
          << name << " lost";
    }
  }

  // The stored name, as checked against literal examples in ParseFileName.
  std::string Stored(const std::string& exported) {
    return object_->ParseFileName(exported, "").substr(1);
  }

  static int ErrorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const VbError& e) {
      return e.number();
    }
    return 0;
  }

  testing::Workstation ws_;
  std::optional<HostModule> module_;
  std::optional<ClsTavirex> object_;
};

TEST_F(ImportTest, ParseFileName) {
  struct {
    const char* exported;
    std::int32_t exam;
    const char* stored;
  } const cases[] = {
      {"P1_A.jpg", 42, "C:\\Store\\P1_42_A.jpg"},
      {"A.jpg", 42, "C:\\Store\\42_A.jpg"},
      {"_x", 42, "C:\\Store\\_42_x"},
      {"", 42, "C:\\Store\\42_"},
      {"P1_A_B.jpg", -7, "C:\\Store\\P1_-7_A_B.jpg"},
      {"P1_A.jpg", 0, "C:\\Store\\P1_0_A.jpg"},
  };
  for (const auto& c : cases) {
    object_->props().ExamRecNum = c.exam;
    EXPECT_EQ(object_->ParseFileName(std::string(c.exported), "C:\\Store"), c.stored);
  }
  EXPECT_EQ(ErrorOf([&] { object_->ParseFileName(std::nullopt, "C:\\Store"); }),
            vberr::kInvalidUseOfNull);
}

TEST_F(ImportTest, GetFolderFileNames) {
  Put("drop", {"b.jpg", "1"});
  Put("drop", {"A.jpg", "2", true});
  Put("drop/sub", {"c.jpg", "3"});
  std::vector<std::string> names = object_->GetFolderFileNames(Win("drop"));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A.jpg", "b.jpg"}));
  EXPECT_EQ(ErrorOf([&] { object_->GetFolderFileNames(Win("missing")); }), vberr::kPathNotFound);
  Put("drop", {"B.JPG", "4"});
  EXPECT_EQ(ErrorOf([&] { object_->GetFolderFileNames(Win("drop")); }), vberr::kDuplicateKey);
}

// One import or clearing. The listing order is the file system's, so a
// failing case names the exported file whose handling fails, and what happens
// to each other file follows from where it stands in the listing.
struct DropCase {
  const char* what;
  std::vector<FileSpec> drop;
  std::vector<FileSpec> store;  // already there before the import
  int error;
  const char* failing;          // nullptr: no file is handled at all
  bool failing_copied = false;  // the failure came from the delete
  bool clear = false;           // ClearDropFolder instead of the import
};

const DropCase kDropCases[] = {
    {"empty drop folder", {}, {}, 0, nullptr},
    {"names with and without underscores",
     {{"P1_A.jpg", "a"}, {"A.jpg", "b"}, {"_x", "c"}, {".hidden", "d"}},
     {},
     0,
     nullptr},
    {"stored file replaced", {{"P1_A.jpg", "new"}}, {{"P1_42_A.jpg", "old"}}, 0, nullptr},
    {"read-only stored file stops the import",
     {{"P1_A.jpg", "a"}, {"P1_B.jpg", "b"}, {"P1_C.jpg", "c"}},
     {{"P1_42_B.jpg", "old", true}},
     vberr::kPermissionDenied,
     "P1_B.jpg"},
    {"read-only exported file is copied but not deleted",
     {{"P1_A.jpg", "a"}, {"P1_B.jpg", "b", true}, {"P1_C.jpg", "c"}},
     {},
     vberr::kPermissionDenied,
     "P1_B.jpg",
     true},
    {"names differing only in case",
     {{"P1_A.jpg", "a"}, {"p1_a.JPG", "b"}, {"P1_C.jpg", "c"}},
     {},
     vberr::kDuplicateKey,
     nullptr},
    {"clearing an empty drop folder", {}, {}, 0, nullptr, false, true},
    {"clearing", {{"P1_A.jpg", "a"}, {"B", "b"}}, {}, 0, nullptr, false, true},
    {"read-only file stops the clearing",
     {{"P1_A.jpg", "a"}, {"P1_B.jpg", "b", true}, {"P1_C.jpg", "c"}},
     {},
     vberr::kPermissionDenied,
     "P1_B.jpg",
     false,
     true},
};

TEST_F(ImportTest, ImportAndClearDropFolder) {
  for (const DropCase& c : kDropCases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Local("drop"));
    fs::remove_all(Local("store"));
    fs::create_directories(Local("store"));  // the capture workflow makes it
    for (const FileSpec& f : c.drop) Put("drop", f);
    for (const FileSpec& f : c.store) Put("store", f);
    Put("drop/sub", {"P1_S.jpg", "s"});  // never imported or deleted
    FolderContents exported = Contents("drop");
    FolderContents store_before = Contents("store");
    std::vector<std::string> listing = ws_.platform().FolderFileNames(Win("drop"));

    int error = ErrorOf([&] {
      c.clear ? ClearDropFolder(*object_, Win("drop"))
              : ImportDropFolder(*object_, Win("drop"), Win("store"));
    });

    EXPECT_EQ(error, c.error);
    FolderContents drop_after = Contents("drop");
    FolderContents store_after = Contents("store");
    // Nothing is handled when the listing itself fails.
    bool handled = c.error == 0 || c.failing != nullptr;
    for (const std::string& name : listing) {
      SCOPED_TRACE(name);
      bool is_failing = c.failing != nullptr && name == c.failing;
      if (is_failing) handled = false;
      std::string stored = Stored(name);
      EXPECT_EQ(Find(drop_after, name), handled ? std::nullopt : Find(exported, name));
      if ((handled && !c.clear) || (is_failing && c.failing_copied)) {
        EXPECT_EQ(Find(store_after, stored), Find(exported, name));
      } else {
        EXPECT_EQ(Find(store_after, stored), Find(store_before, stored));
      }
    }
    EXPECT_TRUE(fs::exists(Local("drop/sub/P1_S.jpg")));
    EXPECT_FALSE(fs::exists(Local("store/sub")));
    if (error != 0 && !c.clear) ExpectNoExportLost(exported);
  }
}

TEST_F(ImportTest, DropFolderEdges) {
  EXPECT_EQ(ErrorOf([&] { ImportDropFolder(*object_, Win("missing"), Win("store")); }),
            vberr::kPathNotFound);
  // Importing a folder into itself renames each file once.
  Put("drop", {"P1_A.jpg", "a"});
  ImportDropFolder(*object_, Win("drop"), Win("drop"));
  EXPECT_EQ(Contents("drop"), (FolderContents{{"P1_42_A.jpg", "a"}}));
}

}  // namespace
}  // namespace tavirex
