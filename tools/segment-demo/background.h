#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "box_blur.h"

namespace vextra::segment_demo {

// What shows behind the person: the frame itself blurred, or a picture in its place (blurred
// once, when asked).
class Background {
 public:
  // The frame blurred by radius.
  Background(int width, int height, int radius);
  // picture: B, G, R, A at the frame's size; radius 0 keeps it sharp.
  Background(int width, int height, int radius, std::vector<uint8_t> picture);

  // out = the frame where the mask is 255, the background where it is 0, blended between.
  // Buffers as for BoxBlur, mask one byte per pixel; throws when one is smaller than the picture.
  void composite(std::span<const uint8_t> frame, std::span<const uint8_t> mask, std::span<uint8_t> out);

 private:
  int width_;
  int height_;
  bool fromFrame_;
  BoxBlur blur_;
  std::vector<uint8_t> pixels_;
};

}  // namespace vextra::segment_demo
