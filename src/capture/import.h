// Moving the exported images of the drop folder into the store folder under
// their stored names, and emptying the drop folder.
#pragma once

#include <string>

#include "interface/cls_tavirex.h"

namespace tavirex {

// Lists the drop folder once, then copies each file to the path ParseFileName
// gives it in `store_folder` (replacing what is there), flushes the copy to
// disk and deletes the exported file without force. The first failure ends
// the import; files already moved stay moved and nothing is restored.
void ImportDropFolder(ClsTavirex& object, const std::string& drop_folder,
                      const std::string& store_folder);

// Deletes every file of the drop folder without force, in listing order; the
// first failure ends it.
void ClearDropFolder(ClsTavirex& object, const std::string& drop_folder);

}  // namespace tavirex
