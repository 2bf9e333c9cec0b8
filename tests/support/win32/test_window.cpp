#include "test_window.h"

namespace win32_test {
namespace {

constexpr wchar_t kClassName[] = L"VextraTestWindow";

ATOM RegisterOnce() {
  static const ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc);
  }();
  return atom;
}

}  // namespace

TestWindow::TestWindow(const wchar_t* caption, const RECT& frame) {
  if (RegisterOnce() == 0) return;
  window_ = CreateWindowExW(0, kClassName, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, frame.left,
                            frame.top, frame.right - frame.left, frame.bottom - frame.top,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window_) UpdateWindow(window_);
}

TestWindow::~TestWindow() {
  if (window_) DestroyWindow(window_);
}

}  // namespace win32_test
