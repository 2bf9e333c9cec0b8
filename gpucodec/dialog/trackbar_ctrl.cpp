#include "trackbar_ctrl.h"

#include <commctrl.h>

namespace gpucodec {

void CTrackbarCtrl::SetRange(int minimum, int maximum, bool redraw) {
  SendMessageW(control_, TBM_SETRANGEMIN, FALSE, minimum);
  SendMessageW(control_, TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
}

void CTrackbarCtrl::SetPos(int position) { SendMessageW(control_, TBM_SETPOS, TRUE, position); }

int CTrackbarCtrl::GetPos() const {
  return static_cast<int>(SendMessageW(control_, TBM_GETPOS, 0, 0));
}

}  // namespace gpucodec
