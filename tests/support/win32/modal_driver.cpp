#include "modal_driver.h"

#include <atomic>
#include <thread>

#include "window_finder.h"

namespace win32_test {
namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kCloseGraceMs = 3000;

}  // namespace

ModalRun DriveModal(const wchar_t* caption, const std::function<void()>& modalCall,
                    const std::function<void(HWND)>& driver, DWORD timeoutMs) {
  ModalRun run;
  std::atomic<bool> returned{false};
  std::thread user([&] {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!returned && GetTickCount64() < end) {
      run.window = FindVisibleWindow(caption);
      if (run.window) break;
      Sleep(kPollMs);
    }
    if (!run.window) return;
    driver(run.window);
    if (!WaitForWindowGone(run.window, kCloseGraceMs)) {
      run.forcedClose = true;
      PostMessageW(run.window, WM_CLOSE, 0, 0);
    }
  });
  modalCall();
  returned = true;
  user.join();
  return run;
}

}  // namespace win32_test
