// Every vector row this processor can run against the generic row over every possible
// input: all (Y, U, V) triples, all (B, G, R) pixels. Each output byte may differ by one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kernel_levels.h"
#include "row_kernels.h"

namespace pixora::kernels {
namespace {

namespace r = rows;

constexpr int kAllTriples = 256 * 256 * 256;

// Index of the first byte more than one unit from the reference, or -1.
long FirstFarByte(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  for (size_t i = 0; i < want.size(); ++i) {
    if (std::abs(got[i] - want[i]) > 1) return static_cast<long>(i);
  }
  return -1;
}

// Pixel p takes Y = p % 256, U = p / 65536, V = p / 256 % 256: for each (U, V) a run of
// 256 pixels through every Y, which keeps each pixel pair on one chroma sample.
struct YuvRows {
  std::vector<uint8_t> yuy2 = std::vector<uint8_t>(2 * kAllTriples);
  std::vector<uint8_t> luma = std::vector<uint8_t>(kAllTriples);
  std::vector<uint8_t> chroma = std::vector<uint8_t>(kAllTriples);

  YuvRows() {
    for (int p = 0; p < kAllTriples; p += 2) {
      const uint8_t y = static_cast<uint8_t>(p), u = static_cast<uint8_t>(p >> 16),
                    v = static_cast<uint8_t>(p >> 8);
      const uint8_t group[4] = {y, u, static_cast<uint8_t>(y + 1), v};
      for (int i = 0; i < 4; ++i) yuy2[2 * p + i] = group[i];
      luma[p] = y;
      luma[p + 1] = y + 1;
      chroma[p] = u;
      chroma[p + 1] = v;
    }
  }
};

const YuvRows& Yuv() {
  static const YuvRows rows;
  return rows;
}

struct Variant {
  const char* name;
  CpuLevel level;  // the lowest level whose processors can run it
};

struct Yuy2Variant : Variant {
  r::Yuy2ToBgr24Row row;
};
struct Nv12Variant : Variant {
  r::Nv12ToBgr24Row row;
};
struct Bgr24Variant : Variant {
  r::Bgr24ToYuy2Row row;
};

bool Runs(const Variant& v) { return v.level <= levels::MachineCpuLevel(); }

TEST(VectorExhaustive, Yuy2ToBgr24EveryTriple) {
  const YuvRows& in = Yuv();
  std::vector<uint8_t> want(3 * kAllTriples);
  r::Yuy2ToBgr24Row_Generic(in.yuy2.data(), want.data(), kAllTriples);
  const Yuy2Variant variants[] = {{{"SSE2", 1}, r::Yuy2ToBgr24Row_SSE2},
                                  {{"SSSE3", 2}, r::Yuy2ToBgr24Row_SSSE3},
                                  {{"AVX", 4}, r::Yuy2ToBgr24Row_AVX},
                                  {{"AVX2", 5}, r::Yuy2ToBgr24Row_AVX2}};
  for (const Yuy2Variant& v : variants) {
    if (!Runs(v)) continue;
    std::vector<uint8_t> got(want.size());
    v.row(in.yuy2.data(), got.data(), kAllTriples);
    const long at = FirstFarByte(got, want);
    EXPECT_EQ(at, -1) << v.name << ": pixel " << at / 3 << " (Y " << at / 3 % 256 << ", U "
                      << at / 3 / 65536 << ", V " << at / 3 / 256 % 256 << "), byte " << at % 3;
  }
}

TEST(VectorExhaustive, Nv12ToBgr24EveryTriple) {
  const YuvRows& in = Yuv();
  std::vector<uint8_t> want(3 * kAllTriples);
  r::Nv12ToBgr24Row_Generic(in.luma.data(), in.chroma.data(), want.data(), kAllTriples);
  const Nv12Variant variants[] = {{{"SSSE3", 2}, r::Nv12ToBgr24Row_SSSE3},
                                  {{"AVX", 4}, r::Nv12ToBgr24Row_AVX},
                                  {{"AVX2", 5}, r::Nv12ToBgr24Row_AVX2}};
  for (const Nv12Variant& v : variants) {
    if (!Runs(v)) continue;
    std::vector<uint8_t> got(want.size());
    v.row(in.luma.data(), in.chroma.data(), got.data(), kAllTriples);
    const long at = FirstFarByte(got, want);
    EXPECT_EQ(at, -1) << v.name << ": pixel " << at / 3 << ", byte " << at % 3;
  }
}

// Pixel 2p is (B, G, R) = bytes of p; its partner varies so that the pair sums spread
// over their range (every sum is covered by a separate one-off search, too slow here).
TEST(VectorExhaustive, Bgr24ToYuy2EveryPixel) {
  std::vector<uint8_t> bgr(6 * static_cast<size_t>(kAllTriples));
  for (int p = 0; p < kAllTriples; ++p) {
    uint8_t* pair = &bgr[6 * static_cast<size_t>(p)];
    pair[0] = static_cast<uint8_t>(p);
    pair[1] = static_cast<uint8_t>(p >> 8);
    pair[2] = static_cast<uint8_t>(p >> 16);
    pair[3] = static_cast<uint8_t>(~pair[0] ^ (p >> 3));
    pair[4] = static_cast<uint8_t>(pair[1] * 7);
    pair[5] = static_cast<uint8_t>(255 - pair[2]);
  }
  std::vector<uint8_t> want(4 * static_cast<size_t>(kAllTriples));
  r::Bgr24ToYuy2Row_Generic(bgr.data(), want.data(), 2 * kAllTriples);
  const Bgr24Variant variants[] = {{{"SSE2", 1}, r::Bgr24ToYuy2Row_SSE2},
                                   {{"AVX", 4}, r::Bgr24ToYuy2Row_AVX}};
  for (const Bgr24Variant& v : variants) {
    if (!Runs(v)) continue;
    std::vector<uint8_t> got(want.size());
    v.row(bgr.data(), got.data(), 2 * kAllTriples);
    const long at = FirstFarByte(got, want);
    EXPECT_EQ(at, -1) << v.name << ": pixel pair " << at / 4 << ", byte " << at % 4;
  }
}

}  // namespace
}  // namespace pixora::kernels
