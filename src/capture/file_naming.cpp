// Stored image file names and the drop-folder listing.
#include <string>
#include <unordered_set>

#include "hostenv/vb_error.h"
#include "interface/cls_tavirex.h"

namespace tavirex {
namespace {

// TEMPORARY stand-in for the VB Collection's key check until
// interface/vb_collection.h lands: keys compare without regard to case, and
// adding a key a second time raises 457.
class FolderListingKeys {
 public:
  void Add(const std::string& key) {
    std::string folded;
    folded.reserve(key.size());
    for (char c : key) {
      folded.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    if (!keys_.insert(std::move(folded)).second) throw VbError(vberr::kDuplicateKey);
  }

 private:
  std::unordered_set<std::string> keys_;
};

}  // namespace

std::string ClsTavirex::ParseFileName(const std::optional<std::string>& sFileNameStructure,
                                      const std::string& MoveToPath) {
  if (!sFileNameStructure) throw VbError(vberr::kInvalidUseOfNull);
  const std::string& name = *sFileNameStructure;
  // The exam record number goes right after the first underscore, or in front
  // of a name without one.
  std::size_t underscore = name.find('_');
  std::size_t head_length = underscore == std::string::npos ? 0 : underscore + 1;
  std::string stored_name = name.substr(0, head_length);
  stored_name += std::to_string(props().ExamRecNum);
  stored_name += '_';
  stored_name += name.substr(head_length);
  return MoveToPath + "\\" + stored_name;
}

std::vector<std::string> ClsTavirex::GetFolderFileNames(const std::string& folder) {
  std::vector<std::string> names = platform_.FolderFileNames(folder);
  // Each name is its own key, so names differing only in case cannot be listed.
  FolderListingKeys keys;
  for (const std::string& name : names) keys.Add(name);
  return names;
}

}  // namespace tavirex
