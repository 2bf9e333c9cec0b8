#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vextra::segment_demo {

// A frame with its background blurred: the frame blended with a strongly blurred copy of
// itself, weighted by the foreground mask. Buffers are kept for the next frame.
class BackgroundBlur {
 public:
  BackgroundBlur(int width, int height);
  // frame and out: 32-bit pixels, B, G, R, A; mask: one byte per pixel, 255 = foreground.
  // Throws when a buffer is smaller than the picture.
  void apply(std::span<const uint8_t> frame, std::span<const uint8_t> mask, std::span<uint8_t> out);
  int radius() const { return radius_; }

 private:
  void blur(std::span<const uint8_t> frame);
  void boxRows(std::span<const uint8_t> from, std::span<uint8_t> to) const;
  void boxColumns(std::span<const uint8_t> from, std::span<uint8_t> to);

  int width_;
  int height_;
  int radius_;
  // Of the box's width in 1/65536, rounded down so that a box of 255s stays 255.
  uint32_t reciprocal_;
  std::vector<uint8_t> blurred_;
  std::vector<uint8_t> scratch_;
  std::vector<uint32_t> columnSums_;
};

}  // namespace vextra::segment_demo
