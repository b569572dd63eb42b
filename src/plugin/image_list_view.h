// What the review workflow needs of whatever shows frmImageFiles to the user:
// a window on Windows, text on a terminal elsewhere (ui/).
#pragma once

namespace tavirex {

class FrmImageFiles;

class ImageListView {
 public:
  virtual ~ImageListView() = default;

  // Shows `form` modally with no owner window and returns when it is closed.
  // The view presents the form's labels and grid, and hands header clicks,
  // double-clicks and "Exit" to the form's handlers.
  virtual void ShowModal(FrmImageFiles& form) = 0;
  // The wait cursor over the window while a file is opened.
  virtual void SetWaitCursor(bool wait) = 0;
};

}  // namespace tavirex
