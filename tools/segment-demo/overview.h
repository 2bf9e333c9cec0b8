#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vextra::segment_demo {

// 32-bit pixels, B, G, R, A, rows packed.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// The input, its mask and the result side by side, each scaled to one height (the input's, at
// most maxHeight), so that one look shows what the job did. frame and result: B, G, R, A;
// mask: one byte per pixel; all at width × height. Throws when a buffer is too small.
Picture overview(int width, int height, std::span<const uint8_t> frame, std::span<const uint8_t> mask,
                 std::span<const uint8_t> result, int maxHeight = 540);

}  // namespace vextra::segment_demo
