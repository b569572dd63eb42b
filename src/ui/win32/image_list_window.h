// The image list window on Windows: a top-level window without owner that
// shows frmImageFiles modally.
#pragma once

#include "plugin/image_list_view.h"

namespace tavirex {

class ImageListWindow final : public ImageListView {
 public:
  void ShowModal(FrmImageFiles& form) override;
  void SetWaitCursor(bool wait) override;

 private:
  bool wait_cursor_ = false;  // honoured by the window's WM_SETCURSOR
};

}  // namespace tavirex
