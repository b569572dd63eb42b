#include "capture/import.h"

#include <vector>

namespace tavirex {

void ImportDropFolder(ClsTavirex& object, const std::string& drop_folder,
                      const std::string& store_folder) {
  Platform& platform = object.platform();
  std::vector<std::string> names = object.GetFolderFileNames(drop_folder);
  for (const std::string& name : names) {
    std::string destination = object.ParseFileName(name, store_folder);
    std::string exported = drop_folder + "\\" + name;
    platform.CopyFile(exported, destination);
    platform.FlushFile(destination);  // on disk before the export is gone
    platform.DeleteFile(exported);
  }
}

void ClearDropFolder(ClsTavirex& object, const std::string& drop_folder) {
  Platform& platform = object.platform();
  for (const std::string& name : object.GetFolderFileNames(drop_folder)) {
    platform.DeleteFile(drop_folder + "\\" + name);
  }
}

}  // namespace tavirex
