#pragma once

#include <windows.h>

namespace win32_test {

// Looks among the top-level windows of every thread; call from any thread.

// The first visible top-level window with this caption (and class, when given), or null.
HWND FindVisibleWindow(const wchar_t* caption, const wchar_t* className = nullptr);

// Polls until such a window is visible; null when none came up within timeoutMs.
HWND WaitForWindow(const wchar_t* caption, DWORD timeoutMs, const wchar_t* className = nullptr);

// Polls until the window is destroyed or hidden; false when it is still up after timeoutMs.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

}  // namespace win32_test
