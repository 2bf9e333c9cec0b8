#pragma once

#include <windows.h>

#include <string>

#include "trackbar_ctrl.h"

namespace gpucodec {

// One transfer between a dialog's members and its controls: to the controls, or back
// when saving. Lives for one call on the dialog's thread.
class CDataExchange {
 public:
  CDataExchange(HWND dialog, bool save) : dialog_(dialog), save_(save) {}

  bool Saving() const { return save_; }

  // Binds the control object to the dialog's control on the first transfer.
  void Control(int id, CTrackbarCtrl& control);
  // The control's text.
  void Text(int id, std::wstring& value);
  // A check box: non-zero shows it ticked; saving gives 1 ticked, 0 not.
  void Check(int id, int& value);

 private:
  HWND dialog_;
  bool save_;
};

}  // namespace gpucodec
