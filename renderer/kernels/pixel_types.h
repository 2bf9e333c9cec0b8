#pragma once

#include <cstddef>
#include <cstdint>

namespace pixora::kernels {

// The code travels in every frame packet header, so the values are fixed.
enum class PixelType : int32_t {
  RGB24 = 0,
  RGB32 = 1,
  YUY2 = 2,
  NV12 = 3,
};

struct ImageSize {
  int32_t width;
  int32_t height;
};

enum class KernelStatus : int32_t {
  Ok = 0,
  NullPointer = -8,
  BadSize = -6,
  OddSize = 35,
};

// 3 x width rounded up to a multiple of 4, as DIBs, byte-array frames and packets lay out
// 24-bit rows. 64-bit, so that every 32-bit width has its step.
constexpr int64_t Rgb24RowStep(int64_t width) { return (3 * width + 3) & ~int64_t{3}; }

// Bytes of a frame with the given row step and signed height.
constexpr int64_t FrameBytes(PixelType type, int32_t rowStep, int32_t height) {
  const int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  const int64_t n = static_cast<int64_t>(rowStep) * rows;
  return type == PixelType::NV12 ? n + n / 2 : n;
}

}  // namespace pixora::kernels
