#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vextra::segment_demo {

// A strong blur of 32-bit pixels: three box passes, close to a Gaussian at a running sum's
// cost whatever the radius. Buffers are kept for the next picture.
class BoxBlur {
 public:
  // radius 0 leaves the picture as it is.
  BoxBlur(int width, int height, int radius);
  // Strong enough to hide a background's detail at any picture size.
  static int defaultRadius(int width, int height);

  // from and to: B, G, R, A; may be the same buffer. Throws when either is smaller than the picture.
  void apply(std::span<const uint8_t> from, std::span<uint8_t> to);
  int radius() const { return radius_; }

 private:
  void boxRows(std::span<const uint8_t> from, std::span<uint8_t> to) const;
  void boxColumns(std::span<const uint8_t> from, std::span<uint8_t> to);

  int width_;
  int height_;
  int radius_;
  // Of the box's width in 2^-32, rounded down so that a box of 255s stays 255 at any radius.
  uint64_t reciprocal_;
  std::vector<uint8_t> scratch_;
  std::vector<uint32_t> columnSums_;
};

}  // namespace vextra::segment_demo
