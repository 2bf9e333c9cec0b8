#include "window_input.h"

#include <commctrl.h>

namespace win32_test {

void ClickButton(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void DragTrackbar(HWND dialog, int id, int position) {
  HWND trackbar = GetDlgItem(dialog, id);
  const UINT message = (GetWindowLongW(trackbar, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
  const auto notify = [&](WORD code) {
    SendMessageW(dialog, message, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(trackbar));
  };
  SendMessageW(trackbar, TBM_SETPOS, TRUE, position);
  notify(TB_THUMBTRACK);
  notify(TB_THUMBPOSITION);
  notify(TB_ENDTRACK);
}

void PressKey(HWND window, UINT virtualKey) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  HWND target = window;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus) {
    target = info.hwndFocus;
  }
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | (3u << 30));
}

void ChooseCloseBox(HWND window) { SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

int TrackbarPosition(HWND dialog, int id) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), TBM_GETPOS, 0, 0));
}

bool IsButtonChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

}  // namespace win32_test
