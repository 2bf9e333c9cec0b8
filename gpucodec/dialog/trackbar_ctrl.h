#pragma once

#include <windows.h>

namespace gpucodec {

// A trackbar control of a dialog, bound once by data exchange; the control belongs to the
// dialog. Used on the dialog's thread.
class CTrackbarCtrl {
 public:
  void Attach(HWND control) { control_ = control; }
  HWND Handle() const { return control_; }

  void SetRange(int minimum, int maximum, bool redraw);
  // The control holds the position within its range.
  void SetPos(int position);
  int GetPos() const;

 private:
  HWND control_ = nullptr;
};

}  // namespace gpucodec
