#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace win32_test {

// A picture taken from the screen: 32-bit B, G, R, unused per pixel, rows top-down.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  COLORREF Pixel(int x, int y) const;
};

// What the screen shows, whole; empty when the screen cannot be read. Any thread.
Screenshot CaptureScreen();

// What the screen shows over the window's rectangle, frame included, once the window has
// repainted. Any thread; the window's thread must be pumping messages.
Screenshot CaptureWindow(HWND window);

// Writes the picture as a 24-bit PNG through WIC. Any thread; initialises COM for the call
// when the thread has not.
HRESULT SavePng(const Screenshot& picture, const std::wstring& path);

}  // namespace win32_test
