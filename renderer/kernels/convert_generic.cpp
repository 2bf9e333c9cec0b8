#include <array>

#include "row_kernels.h"

namespace pixora::kernels::rows {
namespace {

// Every intermediate of the formulas below lies within -394..629.
constexpr int kClampLow = -394;
constexpr int kClampHigh = 629;

constexpr std::array<uint8_t, kClampHigh - kClampLow + 1> MakeClampTable() {
  std::array<uint8_t, kClampHigh - kClampLow + 1> table{};
  for (int i = kClampLow; i <= kClampHigh; ++i) {
    table[i - kClampLow] = static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
  }
  return table;
}

constexpr auto kClampTable = MakeClampTable();

inline uint8_t Clamp(int32_t v) { return kClampTable[v - kClampLow]; }

// BT.601 studio range to full range, 16 fractional bits.
inline void YuvToBgr(int y, int u, int v, uint8_t* bgr) {
  const int32_t luma = 76284 * y - 1187776;
  const int32_t du = u - 128;
  const int32_t dv = v - 128;
  bgr[0] = Clamp((luma + 132186 * du) >> 16);
  bgr[1] = Clamp((luma - 25690 * du - 53281 * dv) >> 16);
  bgr[2] = Clamp((luma + 104595 * dv) >> 16);
}

inline uint8_t LumaOf(const uint8_t* bgr) {
  return Clamp((16843 * bgr[2] + 33030 * bgr[1] + 6423 * bgr[0] + 1081344) >> 16);
}

}  // namespace

void Yuy2ToBgr24Row_Generic(const uint8_t* src, uint8_t* dst, int width) {
  int x = 0;
  for (; x + 1 < width; x += 2, src += 4, dst += 6) {
    YuvToBgr(src[0], src[1], src[3], dst);
    YuvToBgr(src[2], src[1], src[3], dst + 3);
  }
  if (x < width) {
    // The incomplete last group has no V: borrow the previous group's, or its own U.
    const int v = x > 0 ? src[-1] : src[1];
    YuvToBgr(src[0], src[1], v, dst);
  }
}

void Bgr24ToYuy2Row_Generic(const uint8_t* src, uint8_t* dst, int width) {
  int x = 0;
  for (; x + 1 < width; x += 2, src += 6, dst += 4) {
    const int b = src[0] + src[3];
    const int g = src[1] + src[4];
    const int r = src[2] + src[5];
    dst[0] = LumaOf(src);
    dst[1] = Clamp((28770 * b - 19071 * g - 9699 * r + 16842752) >> 17);
    dst[2] = LumaOf(src + 3);
    dst[3] = Clamp((28770 * r - 24117 * g - 4653 * b + 16842752) >> 17);
  }
  if (x < width) {
    dst[0] = LumaOf(src);
    dst[1] = Clamp((28770 * src[0] - 19071 * src[1] - 9699 * src[2] + 8421376) >> 16);
  }
}

void Nv12ToBgr24Row_Generic(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst,
                            int width) {
  for (int x = 0; x + 1 < width; x += 2, luma += 2, chroma += 2, dst += 6) {
    YuvToBgr(luma[0], chroma[0], chroma[1], dst);
    YuvToBgr(luma[1], chroma[0], chroma[1], dst + 3);
  }
}

void Bgr32ToBgr24Row_Generic(const uint8_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 4, dst += 3) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

}  // namespace pixora::kernels::rows
