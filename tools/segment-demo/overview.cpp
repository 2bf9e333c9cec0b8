#include "overview.h"

#include <libyuv/scale_argb.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vextra::segment_demo {

namespace {

constexpr int kGap = 8;
constexpr uint8_t kGapGray = 48;

// Box filtering when shrinking, so that the mask's soft edge and the blur survive the scale.
void place(std::span<const uint8_t> from, int width, int height, Picture& into, int left, int panelWidth) {
  const int stride = into.width * 4;
  uint8_t* at = into.pixels.data() + size_t(left) * 4;
  if (libyuv::ARGBScale(from.data(), width * 4, width, height, at, stride, panelWidth, into.height,
                        libyuv::kFilterBox) != 0)
    throw std::runtime_error("the overview's panels could not be scaled");
}

}  // namespace

Picture overview(int width, int height, std::span<const uint8_t> frame, std::span<const uint8_t> mask,
                 std::span<const uint8_t> result, int maxHeight) {
  const size_t pixels = size_t(width) * size_t(height);
  if (frame.size() < pixels * 4 || mask.size() < pixels || result.size() < pixels * 4)
    throw std::invalid_argument("overview: buffers smaller than the picture");
  const int panelHeight = std::min(height, maxHeight);
  const int panelWidth = std::max(1, int(std::lround(double(width) * panelHeight / height)));
  Picture out{3 * panelWidth + 2 * kGap, panelHeight, {}};
  out.pixels.assign(size_t(out.width) * size_t(out.height) * 4, kGapGray);

  std::vector<uint8_t> gray(pixels * 4);
  for (size_t p = 0; p < pixels; ++p) {
    std::fill_n(gray.begin() + ptrdiff_t(p * 4), 3, mask[p]);
    gray[p * 4 + 3] = 255;
  }
  place(frame, width, height, out, 0, panelWidth);
  place(gray, width, height, out, panelWidth + kGap, panelWidth);
  place(result, width, height, out, 2 * (panelWidth + kGap), panelWidth);
  // Opaque whatever the frame's fourth byte held.
  for (size_t i = 3; i < out.pixels.size(); i += 4) out.pixels[i] = 255;
  return out;
}

}  // namespace vextra::segment_demo
