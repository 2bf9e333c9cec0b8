#include "box_blur.h"

#include <algorithm>
#include <stdexcept>

namespace vextra::segment_demo {

namespace {

constexpr size_t kChannels = 4;
constexpr int kPasses = 3;

uint8_t scaled(uint32_t sum, uint64_t reciprocal) { return uint8_t((sum * reciprocal + (uint64_t(1) << 31)) >> 32); }

}  // namespace

BoxBlur::BoxBlur(int width, int height, int radius)
    : width_(width),
      height_(height),
      radius_(radius),
      reciprocal_((uint64_t(1) << 32) / uint64_t(2 * radius + 1)),
      scratch_(size_t(width) * size_t(height) * kChannels),
      columnSums_(size_t(width) * kChannels) {
  if (radius < 0) throw std::invalid_argument("BoxBlur: negative radius");
}

int BoxBlur::defaultRadius(int width, int height) { return std::max(2, std::min(width, height) / 24); }

void BoxBlur::apply(std::span<const uint8_t> from, std::span<uint8_t> to) {
  const size_t bytes = size_t(width_) * size_t(height_) * kChannels;
  if (from.size() < bytes || to.size() < bytes) throw std::invalid_argument("BoxBlur: buffers smaller than the picture");
  if (radius_ == 0) {
    if (from.data() != to.data()) std::copy_n(from.begin(), bytes, to.begin());
    return;
  }
  boxRows(from, scratch_);
  boxColumns(scratch_, to);
  for (int pass = 1; pass < kPasses; ++pass) {
    boxRows(to, scratch_);
    boxColumns(scratch_, to);
  }
}

// Edges repeat the outermost pixel, so the borders keep their colour.
void BoxBlur::boxRows(std::span<const uint8_t> from, std::span<uint8_t> to) const {
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
        out[here + c] = scaled(sums[c], reciprocal_);
        sums[c] += in[enters + c] - in[leaves + c];
      }
    }
  }
}

// Row by row, with one running sum per column, so memory is read in order.
void BoxBlur::boxColumns(std::span<const uint8_t> from, std::span<uint8_t> to) {
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
      out[i] = scaled(sums[i], reciprocal_);
      sums[i] += enters[i] - leaves[i];
    }
  }
}

}  // namespace vextra::segment_demo
