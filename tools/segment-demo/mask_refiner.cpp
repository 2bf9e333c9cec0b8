#include "mask_refiner.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vextra::segment_demo {

namespace {

// The worker's edge strays from the person's by a mask pixel or two: the window reaches a
// little farther on each side, so that it always holds both sides of the true edge.
constexpr double kRadiusInMaskPixels = 3.0;
// Steps of the grid per window radius: the fast guided filter's subsampling, fine enough that
// the fitted terms vary smoothly between grid points.
constexpr int kStepsPerRadius = 4;
// Luminance variance (in 0..1 units) below which a window counts as flat and the mask is
// kept as it came: faint texture and noise do not carve the mask.
constexpr float kEpsilon = 1e-3f;
// Per grid row, at the picture's width: slope, its step to the next grid row, offset, its step.
constexpr size_t kTermRows = 4;
// BT.601 luminance weights of B, G, R in 1/256; a pixel's luminance is kept in a byte.
constexpr float kLumaUnit = 1.0f / 255.0f;

// The per-pixel loops take most of the time: each is also built for AVX2, and the loader picks
// that build where the processor has it.
__attribute__((target_clones("avx2", "default")))
void lumaRow(const uint8_t* __restrict bgra, uint8_t* __restrict luma, uint32_t* __restrict sums, int width) {
  for (int x = 0; x < width; ++x) {
    const uint8_t* p = bgra + size_t(x) * 4;
    luma[x] = uint8_t((29u * p[0] + 150u * p[1] + 77u * p[2] + 128u) >> 8);
    sums[x] += luma[x];
  }
}

// terms: slope, its step to the next grid row, offset, its step, each width long.
__attribute__((target_clones("avx2", "default")))
void applyRow(const float* __restrict terms, size_t width, float w, const uint8_t* __restrict luma,
              uint8_t* __restrict to) {
  const float* __restrict slope = terms;
  const float* __restrict slopeStep = terms + width;
  const float* __restrict offset = terms + 2 * width;
  const float* __restrict offsetStep = terms + 3 * width;
  for (size_t x = 0; x < width; ++x) {
    const float value = (slope[x] + slopeStep[x] * w) * float(luma[x]) + (offset[x] + offsetStep[x] * w);
    // Through int, which the compiler turns into vector instructions.
    to[x] = uint8_t(int(std::min(std::max(value, 0.0f), 255.0f)));
  }
}

// Target sample i sits at (i + 0.5) * ratio in source pixels, centres lined up.
std::vector<MaskRefiner::Tap> taps(int count, double ratio, int sourceCount) {
  std::vector<MaskRefiner::Tap> result(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const double at = std::clamp((i + 0.5) * ratio - 0.5, 0.0, double(sourceCount - 1));
    const int first = int(at);
    result[size_t(i)] = {first, std::min(first + 1, sourceCount - 1), float(at - first)};
  }
  return result;
}

// 1 / the number of samples a window of the radius holds at each place, clipped at the ends.
std::vector<float> windowWeights(int count, int radius) {
  std::vector<float> weights(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    weights[size_t(i)] = 1.0f / float(std::min(i + radius, count - 1) - std::max(i - radius, 0) + 1);
  return weights;
}

int radiusFor(int maskWidth, int maskHeight, int width, int height) {
  const double scale = std::max(double(width) / maskWidth, double(height) / maskHeight);
  return std::max(1, int(std::lround(kRadiusInMaskPixels * scale)));
}

}  // namespace

MaskRefiner::MaskRefiner(int maskWidth, int maskHeight, int width, int height)
    : maskWidth_(maskWidth),
      maskHeight_(maskHeight),
      width_(width),
      height_(height),
      radius_(radiusFor(maskWidth, maskHeight, width, height)),
      step_(std::max(1, radius_ / kStepsPerRadius)),
      gridWidth_((width + step_ - 1) / step_),
      gridHeight_((height + step_ - 1) / step_),
      gridRadius_(std::max(1, int(std::lround(double(radius_) / step_)))),
      maskColumns_(taps(gridWidth_, double(step_) * maskWidth / width, maskWidth)),
      maskRows_(taps(gridHeight_, double(step_) * maskHeight / height, maskHeight)),
      gridRows_(taps(height, 1.0 / step_, gridHeight_)),
      luma_(size_t(width) * size_t(height)),
      rowSums_(size_t(width)),
      columnSums_(size_t(gridWidth_)),
      terms_(2 * kTermRows * size_t(width)) {
  for (auto* plane : {&guide_, &mask_, &product_, &meanGuide_, &meanMask_, &meanProduct_, &meanSquare_, &slope_,
                      &offset_, &meanSlope_, &meanOffset_, &scratch_})
    plane->resize(size_t(gridWidth_) * size_t(gridHeight_));
  padded_.resize(size_t(gridWidth_) + 2);
  for (int k = 0; k < step_; ++k) {
    // Where sample k of a cell lies, from the cell's centre, in cells.
    const float from = (float(k) + 0.5f) / float(step_) - 0.5f;
    phases_.push_back(from < 0 ? Phase{0, 1.0f + from} : Phase{1, from});
  }
  columnWeights_ = windowWeights(gridWidth_, gridRadius_);
  const std::vector<float> rows = windowWeights(gridHeight_, gridRadius_);
  rowWeights_.assign(rows.begin(), rows.end());
}

void MaskRefiner::refine(std::span<const uint8_t> frame, std::span<const uint8_t> mask, std::span<uint8_t> out) {
  const size_t pixels = size_t(width_) * size_t(height_);
  if (frame.size() < pixels * 4 || mask.size() < size_t(maskWidth_) * size_t(maskHeight_) || out.size() < pixels)
    throw std::invalid_argument("MaskRefiner: buffers smaller than the pictures");
  guideOnGrid(frame);
  maskOnGrid(mask);
  fit();
  apply(out);
}

// The picture's luminance, kept for the last step, and its mean over each grid cell: a cell's
// rows added up first, then the row of sums cut into cells.
void MaskRefiner::guideOnGrid(std::span<const uint8_t> frame) {
  const int width = width_;
  for (int gy = 0; gy < gridHeight_; ++gy) {
    const int top = gy * step_, rows = std::min(step_, height_ - top);
    std::fill(rowSums_.begin(), rowSums_.end(), 0u);
    for (int y = top; y < top + rows; ++y)
      lumaRow(frame.data() + size_t(y) * size_t(width) * 4, luma_.data() + size_t(y) * size_t(width), rowSums_.data(),
              width);
    float* cells = guide_.data() + size_t(gy) * size_t(gridWidth_);
    for (int gx = 0, x = 0; gx < gridWidth_; ++gx) {
      uint32_t sum = 0;
      const int end = std::min(x + step_, width_);
      const int columns = end - x;
      for (; x < end; ++x) sum += rowSums_[size_t(x)];
      cells[gx] = float(sum) * (kLumaUnit / float(rows * columns));
    }
  }
}

void MaskRefiner::maskOnGrid(std::span<const uint8_t> mask) {
  for (int gy = 0; gy < gridHeight_; ++gy) {
    const Tap row = maskRows_[size_t(gy)];
    const uint8_t* a = mask.data() + size_t(row.first) * size_t(maskWidth_);
    const uint8_t* b = mask.data() + size_t(row.second) * size_t(maskWidth_);
    float* out = mask_.data() + size_t(gy) * size_t(gridWidth_);
    for (int gx = 0; gx < gridWidth_; ++gx) {
      const Tap column = maskColumns_[size_t(gx)];
      const auto at = [&](const uint8_t* line) {
        return float(line[column.first]) + float(line[column.second] - line[column.first]) * column.weight;
      };
      const float top = at(a), bottom = at(b);
      out[gx] = (top + (bottom - top) * row.weight) * (1.0f / 255.0f);
    }
  }
}

// Per window, the mask as slope × luminance + offset by least squares; each grid point then
// takes the mean of the fits of the windows that hold it.
void MaskRefiner::fit() {
  boxMean(guide_, meanGuide_);
  boxMean(mask_, meanMask_);
  for (size_t i = 0; i < product_.size(); ++i) product_[i] = guide_[i] * mask_[i];
  boxMean(product_, meanProduct_);
  for (size_t i = 0; i < product_.size(); ++i) product_[i] = guide_[i] * guide_[i];
  boxMean(product_, meanSquare_);
  for (size_t i = 0; i < slope_.size(); ++i) {
    const float variance = meanSquare_[i] - meanGuide_[i] * meanGuide_[i];
    const float covariance = meanProduct_[i] - meanGuide_[i] * meanMask_[i];
    slope_[i] = covariance / (std::max(variance, 0.0f) + kEpsilon);
    offset_[i] = meanMask_[i] - slope_[i] * meanGuide_[i];
  }
  boxMean(slope_, meanSlope_);
  boxMean(offset_, meanOffset_);
}

// One grid row, linearly interpolated to the picture's width, times scale plus add. Sample k
// of cell g lies between the same two neighbours of g, with the same weight, whatever g: the
// row is padded by repeating its ends, so there is nothing to clamp.
void MaskRefiner::widen(const float* from, float* to, float scale, float add) {
  const int step = step_, width = width_;
  float* __restrict padded = padded_.data();
  padded[0] = from[0];
  std::copy_n(from, gridWidth_, padded + 1);
  padded[gridWidth_ + 1] = from[gridWidth_ - 1];
  for (int k = 0; k < step; ++k) {
    const Phase phase = phases_[size_t(k)];
    const float* __restrict left = padded + phase.left;
    const int cells = (width - k + step - 1) / step;  // the last cell may be cut short
    for (int g = 0; g < cells; ++g)
      to[g * step + k] = (left[g] + (left[g + 1] - left[g]) * phase.weight) * scale + add;
  }
}

// Grid row g's terms at the picture's width, in the units of the last step; and the step to
// the next grid row, so that the last step does two multiply-adds per term. Kept for two grid
// rows only, so that they stay in the cache while the rows between are done.
void MaskRefiner::widenRow(int g, float* terms) {
  const size_t width = size_t(width_);
  widen(meanSlope_.data() + size_t(g) * size_t(gridWidth_), terms, kLumaUnit * 255.0f, 0.0f);
  widen(meanOffset_.data() + size_t(g) * size_t(gridWidth_), terms + 2 * width, 255.0f, 0.5f);
}

void MaskRefiner::apply(std::span<uint8_t> out) {
  const size_t width = size_t(width_);
  float* here = terms_.data();
  float* next = here + kTermRows * width;
  int band = -1;
  for (int y = 0; y < height_; ++y) {
    const Tap row = gridRows_[size_t(y)];
    if (row.first != band) {
      if (row.first == band + 1 && band >= 0)
        std::swap(here, next);
      else
        widenRow(row.first, here);
      widenRow(std::min(row.first + 1, gridHeight_ - 1), next);
      for (size_t x = 0; x < width; ++x) {
        here[width + x] = next[x] - here[x];
        here[3 * width + x] = next[2 * width + x] - here[2 * width + x];
      }
      band = row.first;
    }
    applyRow(here, width, row.weight, luma_.data() + size_t(y) * width, out.data() + size_t(y) * width);
  }
}

// Box mean over the window clipped to the grid, rows then columns. Sums are kept in double so
// that running sums do not drift; rows are summed several at once, as each running sum waits
// on its previous value.
void MaskRefiner::boxMean(std::span<const float> from, std::span<float> to) {
  constexpr int kLanes = 8;
  const int r = gridRadius_, w = gridWidth_, h = gridHeight_;
  const float* columnWeights = columnWeights_.data();
  for (int y0 = 0; y0 < h; y0 += kLanes) {
    const int lanes = std::min(kLanes, h - y0);
    const float* in = from.data() + size_t(y0) * size_t(w);
    float* out = scratch_.data() + size_t(y0) * size_t(w);
    double sums[kLanes] = {};
    for (int x = 0; x < std::min(r, w); ++x)
      for (int l = 0; l < lanes; ++l) sums[l] += in[size_t(l) * size_t(w) + size_t(x)];
    for (int x = 0; x < w; ++x) {
      if (x + r < w)
        for (int l = 0; l < lanes; ++l) sums[l] += in[size_t(l) * size_t(w) + size_t(x + r)];
      if (x - r - 1 >= 0)
        for (int l = 0; l < lanes; ++l) sums[l] -= in[size_t(l) * size_t(w) + size_t(x - r - 1)];
      for (int l = 0; l < lanes; ++l) out[size_t(l) * size_t(w) + size_t(x)] = float(sums[l]) * columnWeights[x];
    }
  }
  double* __restrict sums = columnSums_.data();
  std::fill_n(sums, w, 0.0);
  const auto add = [&](int y, double sign) {
    const float* __restrict in = scratch_.data() + size_t(y) * size_t(w);
    for (int x = 0; x < w; ++x) sums[x] += sign * in[x];
  };
  for (int y = 0; y < std::min(r, h); ++y) add(y, 1.0);
  for (int y = 0; y < h; ++y) {
    if (y + r < h) add(y + r, 1.0);
    if (y - r - 1 >= 0) add(y - r - 1, -1.0);
    const double weight = rowWeights_[size_t(y)];
    float* __restrict out = to.data() + size_t(y) * size_t(w);
    for (int x = 0; x < w; ++x) out[x] = float(sums[x] * weight);
  }
}

}  // namespace vextra::segment_demo
