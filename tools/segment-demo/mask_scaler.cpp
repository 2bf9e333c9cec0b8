#include "mask_scaler.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vextra::segment_demo {

MaskScaler::MaskScaler(int fromWidth, int fromHeight, int toWidth, int toHeight)
    : fromWidth_(fromWidth),
      fromHeight_(fromHeight),
      toWidth_(toWidth),
      columns_(taps(fromWidth, toWidth)),
      rows_(taps(fromHeight, toHeight)),
      line_(size_t(fromWidth)) {}

std::vector<MaskScaler::Tap> MaskScaler::taps(int from, int to) {
  std::vector<Tap> result(static_cast<size_t>(to));
  const double step = double(from) / double(to);
  for (int i = 0; i < to; ++i) {
    const double at = std::clamp((i + 0.5) * step - 0.5, 0.0, double(from - 1));
    const int first = int(at);
    result[size_t(i)] = {first, std::min(first + 1, from - 1), uint32_t(std::lround((at - first) * 256.0))};
  }
  return result;
}

void MaskScaler::scale(std::span<const uint8_t> from, std::span<uint8_t> to) {
  const size_t fromWidth = size_t(fromWidth_), toWidth = size_t(toWidth_);
  if (from.size() < fromWidth * size_t(fromHeight_) || to.size() < toWidth * rows_.size())
    throw std::invalid_argument("MaskScaler: buffers smaller than the planes");
  for (size_t y = 0; y < rows_.size(); ++y) {
    const Tap row = rows_[y];
    const uint8_t* a = from.data() + size_t(row.first) * fromWidth;
    const uint8_t* b = from.data() + size_t(row.second) * fromWidth;
    for (size_t x = 0; x < fromWidth; ++x) line_[x] = a[x] * (256 - row.weight) + b[x] * row.weight;
    uint8_t* out = to.data() + y * toWidth;
    for (size_t x = 0; x < toWidth; ++x) {
      const Tap column = columns_[x];
      const uint32_t sum = line_[size_t(column.first)] * (256 - column.weight) + line_[size_t(column.second)] * column.weight;
      out[x] = uint8_t((sum + 32768) >> 16);
    }
  }
}

}  // namespace vextra::segment_demo
