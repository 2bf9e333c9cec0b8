#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vextra::segment_demo {

// Bilinear scaling of one 8-bit plane (rows packed) between two fixed sizes. Pixel centres
// line up, so the scaled mask stays on the picture it was made from.
class MaskScaler {
 public:
  MaskScaler(int fromWidth, int fromHeight, int toWidth, int toHeight);
  // Throws when either plane is smaller than its size.
  void scale(std::span<const uint8_t> from, std::span<uint8_t> to);

 private:
  // The two source samples and the second one's weight in 1/256.
  struct Tap {
    int first;
    int second;
    uint32_t weight;
  };
  static std::vector<Tap> taps(int from, int to);

  int fromWidth_;
  int fromHeight_;
  int toWidth_;
  std::vector<Tap> columns_;
  std::vector<Tap> rows_;
  std::vector<uint32_t> line_;  // one source row blended between two, in 1/256
};

}  // namespace vextra::segment_demo
