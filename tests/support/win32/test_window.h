#pragma once

#include <windows.h>

namespace win32_test {

// A plain visible top-level window, as a host's main window that owns a dialog. Created
// and destroyed on one thread, which must pump messages while others wait on the window.
class TestWindow {
 public:
  TestWindow(const wchar_t* caption, const RECT& frame);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

}  // namespace win32_test
