#pragma once

#include <windows.h>

#include <cstdint>

namespace pixora {

// A copy of a screen area in a bottom-up 24-bit DIB section, released with the object.
// One thread at a time.
class ScreenRegion {
 public:
  ScreenRegion(int32_t x, int32_t y, int32_t width, int32_t height);
  ~ScreenRegion();
  ScreenRegion(const ScreenRegion&) = delete;
  ScreenRegion& operator=(const ScreenRegion&) = delete;

  // Null when the capture could not be set up.
  const uint8_t* Bits() const { return bits_; }
  int32_t Stride() const { return stride_; }

 private:
  HDC screen_ = nullptr;
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  const uint8_t* bits_ = nullptr;
  int32_t stride_ = 0;
};

}  // namespace pixora
