#include "screen_region.h"

#include "pixel_types.h"

namespace pixora {

ScreenRegion::ScreenRegion(int32_t x, int32_t y, int32_t width, int32_t height)
    : stride_(static_cast<int32_t>(kernels::Rgb24RowStep(width))) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(stride_) * static_cast<DWORD>(height);

  screen_ = GetDC(nullptr);
  if (screen_ == nullptr) return;
  memory_ = CreateCompatibleDC(screen_);
  if (memory_ == nullptr) return;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap_ == nullptr) return;
  previous_ = SelectObject(memory_, bitmap_);
  BitBlt(memory_, 0, 0, width, height, screen_, x, y, SRCCOPY);
  GdiFlush();
  bits_ = static_cast<const uint8_t*>(bits);
}

ScreenRegion::~ScreenRegion() {
  if (previous_ != nullptr) SelectObject(memory_, previous_);
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  if (memory_ != nullptr) DeleteDC(memory_);
  if (screen_ != nullptr) ReleaseDC(nullptr, screen_);
}

}  // namespace pixora
