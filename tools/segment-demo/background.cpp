#include "background.h"

#include <stdexcept>
#include <utility>

namespace vextra::segment_demo {

namespace {

constexpr size_t kChannels = 4;

size_t bytesOf(int width, int height) { return size_t(width) * size_t(height) * kChannels; }

}  // namespace

Background::Background(int width, int height, int radius)
    : width_(width), height_(height), fromFrame_(true), blur_(width, height, radius), pixels_(bytesOf(width, height)) {}

Background::Background(int width, int height, int radius, std::vector<uint8_t> picture)
    : width_(width), height_(height), fromFrame_(false), blur_(width, height, radius), pixels_(std::move(picture)) {
  blur_.apply(pixels_, pixels_);
}

void Background::composite(std::span<const uint8_t> frame, std::span<const uint8_t> mask, std::span<uint8_t> out) {
  const size_t pixels = size_t(width_) * size_t(height_);
  if (frame.size() < pixels * kChannels || mask.size() < pixels || out.size() < pixels * kChannels)
    throw std::invalid_argument("Background: buffers smaller than the picture");
  if (fromFrame_) blur_.apply(frame, pixels_);
  for (size_t p = 0; p < pixels; ++p) {
    const uint32_t fore = mask[p], back = 255 - fore;
    for (size_t c = 0; c < 3; ++c) {
      const size_t i = p * kChannels + c;
      out[i] = uint8_t((frame[i] * fore + pixels_[i] * back + 127) / 255);
    }
    out[p * kChannels + 3] = 255;
  }
}

}  // namespace vextra::segment_demo
