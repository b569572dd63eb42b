// The image list window of this build, as a program gets it: the real window
// on Windows, the terminal view (with TAVIREX_WINDOW_KEYS) elsewhere. Declared
// once here, defined by each implementation (win32/, terminal/).
#pragma once

#include <memory>

#include "plugin/image_list_view.h"

namespace tavirex {

std::unique_ptr<ImageListView> MakeSystemImageListView();

}  // namespace tavirex
