#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "convert.h"
#include "pixel_types.h"
#include "rotate.h"

namespace pixora::kernels::testing {

// The plain meaning of RotateFrame90, written pixel by pixel for tests that need the turned
// picture without trusting the turn under test. Bytes the turn does not write (row filler)
// hold `unwritten`. YUY2 goes through 24-bit pictures with the dispatched conversions, as
// the turn does; only the turn itself is written out here.
inline std::vector<uint8_t> ReferenceTurn(PixelType type, const std::vector<uint8_t>& src,
                                          int w, int h, int step, uint8_t unwritten) {
  const FrameGeometry g = RotatedGeometry(type, w, h);
  std::vector<uint8_t> dst(static_cast<size_t>(FrameBytes(type, g.rowStep, g.height)),
                           unwritten);
  const int rows = h < 0 ? -h : h;
  if (type == PixelType::RGB24 || type == PixelType::RGB32) {
    const int p = type == PixelType::RGB24 ? 3 : 4;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < w; ++c) {
        // Bottom-up rows: memory row r is picture row rows - 1 - r.
        const int dr = h > 0 ? w - 1 - c : c;
        const int dc = h > 0 ? r : rows - 1 - r;
        std::memcpy(&dst[dr * g.rowStep + dc * p], &src[r * step + c * p], p);
      }
    }
  } else if (type == PixelType::NV12) {
    for (int x = 0; x < w; ++x) {
      for (int k = 0; k < h; ++k) dst[x * h + k] = src[(h - 1 - k) * w + x];
    }
    const int n = w * h;
    for (int i = 0; i < h / 2; ++i) {
      for (int j = 0; j < w / 2; ++j) {
        std::memcpy(&dst[n + j * h + 2 * (h / 2 - 1 - i)], &src[n + i * w + 2 * j], 2);
      }
    }
  } else {
    const int s1 = static_cast<int>(Rgb24RowStep(w));
    const int s2 = static_cast<int>(Rgb24RowStep(h));
    std::vector<uint8_t> first(static_cast<size_t>(s1) * h), second(static_cast<size_t>(s2) * w);
    ConvertYuy2ToBgr24(src.data(), step, first.data(), s1, {w, h});
    for (int r = 0; r < h; ++r) {
      for (int c = 0; c < w; ++c) {
        std::memcpy(&second[c * s2 + (h - 1 - r) * 3], &first[r * s1 + c * 3], 3);
      }
    }
    ConvertBgr24ToYuy2(second.data(), s2, dst.data(), 2 * h, {h, w});
  }
  return dst;
}

}  // namespace pixora::kernels::testing
