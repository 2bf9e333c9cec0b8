#include "window_finder.h"

#include <cwchar>

namespace win32_test {
namespace {

constexpr DWORD kPollMs = 20;

struct Search {
  const wchar_t* caption;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  // Reads the stored caption without a message, so a window whose thread is blocked (say,
  // waiting for this one) cannot stall the search.
  wchar_t text[256] = {};
  InternalGetWindowText(window, text, 256);
  if (std::wcscmp(text, search->caption) != 0) return TRUE;
  if (search->className != nullptr) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    if (_wcsicmp(name, search->className) != 0) return TRUE;
  }
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindVisibleWindow(const wchar_t* caption, const wchar_t* className) {
  Search search{caption, className, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(const wchar_t* caption, DWORD timeoutMs, const wchar_t* className) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = FindVisibleWindow(caption, className)) return window;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(kPollMs);
  }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount64() >= end) return false;
    Sleep(kPollMs);
  }
  return true;
}

}  // namespace win32_test
