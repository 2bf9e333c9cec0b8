#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pixel_types.h"

// Quarter turn clockwise and row reversal. Re-entrant; a RotateScratch is used by one
// thread at a time.
namespace pixora::kernels {

struct FrameGeometry {
  int32_t width;
  int32_t height;
  int32_t rowStep;
};

// The frame RotateFrame90 makes from a W x H frame: dimensions swap, the sign of the
// height stays. All zero for an unknown pixel type, no pixels, or a turned row too long
// for a 32-bit step.
FrameGeometry RotatedGeometry(PixelType type, int32_t width, int32_t height);

// The two 24-bit pictures a YUY2 turn goes through, kept between frames so that a
// steady stream allocates nothing.
class RotateScratch {
 public:
  // False when memory is short; the buffers held before stay valid.
  bool Reserve(size_t firstBytes, size_t secondBytes);
  uint8_t* First() const { return first_.get(); }
  uint8_t* Second() const { return second_.get(); }

 private:
  std::unique_ptr<uint8_t[]> first_;
  std::unique_ptr<uint8_t[]> second_;
  size_t firstBytes_ = 0;
  size_t secondBytes_ = 0;
};

enum class RotateResult {
  Turned,
  NothingToTurn,  // no rows, a YUY2 or NV12 height below 1, or an unknown pixel type
  OutOfMemory,    // the YUY2 scratch pictures could not be had; nothing written
};

struct RotatedFrame {
  FrameGeometry geometry;
  RotateResult result;
};

// dst holds at least FrameBytes() of the rotated geometry and does not overlap src.
RotatedFrame RotateFrame90(PixelType type, const uint8_t* src, int32_t width, int32_t height,
                           int32_t srcStep, uint8_t* dst, RotateScratch& scratch);

// Copies rows of rowStep bytes (filler included) into dst in the opposite order.
void FlipRows(const uint8_t* src, int32_t rows, int32_t rowStep, uint8_t* dst);

}  // namespace pixora::kernels
