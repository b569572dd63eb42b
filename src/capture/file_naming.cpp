// Stored image file names and the drop-folder listing.
#include <string>

#include "interface/cls_tavirex.h"
#include "interface/vb_collection.h"
#include "winrules/vb_error.h"

namespace tavirex {

std::string ClsTavirex::ParseFileName(const std::optional<std::string>& file_name,
                                      const std::string& folder) {
  if (!file_name) throw VbError(vberr::kInvalidUseOfNull);
  const std::string& name = *file_name;
  // The exam record number goes right after the first underscore, or in front
  // of a name without one.
  std::size_t underscore = name.find('_');
  std::size_t head_length = underscore == std::string::npos ? 0 : underscore + 1;
  std::string stored_name = name.substr(0, head_length);
  stored_name += std::to_string(props().ExamRecNum);
  stored_name += '_';
  stored_name += name.substr(head_length);
  return folder + "\\" + stored_name;
}

std::vector<std::string> ClsTavirex::GetFolderFileNames(const std::string& folder) {
  // Each name is its own key, so names differing only in case cannot be listed.
  VbCollection<std::string> listing;
  for (std::string& name : platform_.FolderFileNames(folder)) {
    std::string key = name;
    listing.Add(std::move(name), key);
  }
  return listing.items();
}

}  // namespace tavirex
