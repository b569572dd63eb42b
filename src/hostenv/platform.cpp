#include "hostenv/platform.h"

#include "hostenv/vb_error.h"

namespace tavirex {

// A platform without a window system cannot show the list.
void Platform::ShowImageListWindow(FrmImageFiles&) { throw VbError(vberr::kCantCreateObject); }

void Platform::SetWaitCursor(bool) {}

}  // namespace tavirex
