#pragma once

#include <windows.h>

#include <functional>

namespace win32_test {

struct ModalRun {
  HWND window = nullptr;       // the modal window the driver was given; null if none came up
  bool forcedClose = false;    // still up after the driver returned, so it was closed for it
};

// Runs modalCall on this thread (it shows a modal window and returns when that closes)
// while driver acts on the window from a second thread, as a user would. The driver is
// called once a visible top-level window with this caption is up; it is not called if
// modalCall returns first or nothing comes up within timeoutMs. A window the driver leaves
// open is closed (WM_CLOSE) so that a failing test ends instead of hanging.
ModalRun DriveModal(const wchar_t* caption, const std::function<void()>& modalCall,
                    const std::function<void(HWND)>& driver, DWORD timeoutMs = 15000);

}  // namespace win32_test
