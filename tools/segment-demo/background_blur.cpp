#include "background_blur.h"

#include <algorithm>
#include <stdexcept>

namespace vextra::segment_demo {

namespace {

constexpr size_t kChannels = 4;
// Three box passes come close to a Gaussian blur at a running sum's cost.
constexpr int kPasses = 3;

// Strong enough to hide the background's detail at any picture size.
int radiusFor(int width, int height) { return std::max(2, std::min(width, height) / 24); }

}  // namespace

BackgroundBlur::BackgroundBlur(int width, int height)
    : width_(width),
      height_(height),
      radius_(radiusFor(width, height)),
      reciprocal_(65536 / uint32_t(2 * radius_ + 1)),
      blurred_(size_t(width) * size_t(height) * kChannels),
      scratch_(blurred_.size()),
      columnSums_(size_t(width) * kChannels) {}

void BackgroundBlur::apply(std::span<const uint8_t> frame, std::span<const uint8_t> mask, std::span<uint8_t> out) {
  const size_t pixels = size_t(width_) * size_t(height_);
  if (frame.size() < pixels * kChannels || mask.size() < pixels || out.size() < pixels * kChannels)
    throw std::invalid_argument("BackgroundBlur: buffers smaller than the picture");
  blur(frame);
  for (size_t p = 0; p < pixels; ++p) {
    const uint32_t fore = mask[p], back = 255 - fore;
    for (size_t c = 0; c < 3; ++c) {
      const size_t i = p * kChannels + c;
      out[i] = uint8_t((frame[i] * fore + blurred_[i] * back + 127) / 255);
    }
    out[p * kChannels + 3] = 255;
  }
}

void BackgroundBlur::blur(std::span<const uint8_t> frame) {
  boxRows(frame, scratch_);
  boxColumns(scratch_, blurred_);
  for (int pass = 1; pass < kPasses; ++pass) {
    boxRows(blurred_, scratch_);
    boxColumns(scratch_, blurred_);
  }
}

// Edges repeat the outermost pixel, so the borders keep their colour.
void BackgroundBlur::boxRows(std::span<const uint8_t> from, std::span<uint8_t> to) const {
  const int last = width_ - 1;
  const auto at = [last](int x) { return size_t(std::clamp(x, 0, last)) * kChannels; };
  for (size_t y = 0; y < size_t(height_); ++y) {
    const uint8_t* in = from.data() + y * size_t(width_) * kChannels;
    uint8_t* out = to.data() + y * size_t(width_) * kChannels;
    uint32_t sums[kChannels];
    for (size_t c = 0; c < kChannels; ++c) {
      sums[c] = in[c] * uint32_t(radius_ + 1);
      for (int k = 1; k <= radius_; ++k) sums[c] += in[at(k) + c];
    }
    for (int x = 0; x <= last; ++x) {
      const size_t here = size_t(x) * kChannels, enters = at(x + radius_ + 1), leaves = at(x - radius_);
      for (size_t c = 0; c < kChannels; ++c) {
        out[here + c] = uint8_t((sums[c] * reciprocal_ + 32768) >> 16);
        sums[c] += in[enters + c] - in[leaves + c];
      }
    }
  }
}

// Row by row, with one running sum per column, so memory is read in order.
void BackgroundBlur::boxColumns(std::span<const uint8_t> from, std::span<uint8_t> to) {
  const size_t rowBytes = size_t(width_) * kChannels;
  const int last = height_ - 1;
  const auto row = [&](int y) { return from.data() + size_t(std::clamp(y, 0, last)) * rowBytes; };
  uint32_t* sums = columnSums_.data();
  for (size_t i = 0; i < rowBytes; ++i) sums[i] = row(0)[i] * uint32_t(radius_ + 1);
  for (int k = 1; k <= radius_; ++k) {
    const uint8_t* in = row(k);
    for (size_t i = 0; i < rowBytes; ++i) sums[i] += in[i];
  }
  for (int y = 0; y <= last; ++y) {
    uint8_t* out = to.data() + size_t(y) * rowBytes;
    const uint8_t* enters = row(y + radius_ + 1);
    const uint8_t* leaves = row(y - radius_);
    for (size_t i = 0; i < rowBytes; ++i) {
      out[i] = uint8_t((sums[i] * reciprocal_ + 32768) >> 16);
      sums[i] += enters[i] - leaves[i];
    }
  }
}

}  // namespace vextra::segment_demo
