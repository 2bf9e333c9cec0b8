#include "rotate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "convert.h"
#include "guarded_buffer.h"
#include "kernel_levels.h"
#include "reference_turn.h"

namespace pixora::kernels {
namespace {

using testing::GuardedBuffer;
using testing::ReferenceTurn;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kUnwritten = 0xEE;

Bytes Turn(PixelType type, const Bytes& src, int w, int h, int step, FrameGeometry* g,
           RotateResult* result = nullptr) {
  const FrameGeometry expect = RotatedGeometry(type, w, h);
  GuardedBuffer dst(static_cast<size_t>(FrameBytes(type, expect.rowStep, expect.height)), 1,
                    kUnwritten);
  RotateScratch scratch;
  const RotatedFrame turned = RotateFrame90(type, src.data(), w, h, step, dst.data(), scratch);
  EXPECT_TRUE(dst.GuardsIntact());
  *g = turned.geometry;
  if (result != nullptr) *result = turned.result;
  return dst.Contents();
}

TEST(RotateFrame90, Geometry) {
  struct Case {
    PixelType type;
    int w, h;
    FrameGeometry g;
    int64_t bytes;
  };
  const Case cases[] = {
      {PixelType::RGB24, 640, 480, {480, 640, 1440}, 921600},
      {PixelType::RGB24, 640, -480, {480, -640, 1440}, 921600},
      {PixelType::RGB24, 2, 1, {1, 2, 4}, 8},
      {PixelType::RGB24, 5, -3, {3, -5, 12}, 60},
      {PixelType::RGB32, 4, 2, {2, 4, 8}, 32},
      {PixelType::YUY2, 640, 478, {478, 640, 956}, 611840},
      {PixelType::NV12, 1280, 720, {720, 1280, 720}, 1382400},
      // A turned row of 3 x 1,431,655,766 bytes has no 32-bit step (it would wrap to 4).
      {PixelType::RGB24, 10, 0x55555556, {0, 0, 0}, 0},
      {PixelType::RGB32, 0, 4, {0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    const FrameGeometry g = RotatedGeometry(c.type, c.w, c.h);
    EXPECT_EQ(g.width, c.g.width);
    EXPECT_EQ(g.height, c.g.height);
    EXPECT_EQ(g.rowStep, c.g.rowStep);
    EXPECT_EQ(FrameBytes(c.type, g.rowStep, g.height), c.bytes);
  }
}

TEST(RotateFrame90, Rgb24TwoByOneKeepsPictureUpright) {
  // P0 = (1,2,3), P1 = (4,5,6); one source row with one filler byte.
  const Bytes src = {1, 2, 3, 4, 5, 6, 0, 0};
  FrameGeometry g{};
  const Bytes bottomUp = Turn(PixelType::RGB24, src, 2, 1, 8, &g);
  EXPECT_EQ(g.height, 2);
  EXPECT_EQ(g.rowStep, 4);
  EXPECT_EQ(bottomUp, (Bytes{4, 5, 6, kUnwritten, 1, 2, 3, kUnwritten}));
  const Bytes topDown = Turn(PixelType::RGB24, src, 2, -1, 8, &g);
  EXPECT_EQ(g.height, -2);
  EXPECT_EQ(topDown, (Bytes{1, 2, 3, kUnwritten, 4, 5, 6, kUnwritten}));
}

TEST(RotateFrame90, Nv12FourByTwo) {
  const Bytes src = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'U', 'V', 'u', 'v'};
  FrameGeometry g{};
  const Bytes out = Turn(PixelType::NV12, src, 4, 2, 4, &g);
  EXPECT_EQ(g.width, 2);
  EXPECT_EQ(g.height, 4);
  EXPECT_EQ(out, (Bytes{'e', 'a', 'f', 'b', 'g', 'c', 'h', 'd', 'U', 'V', 'u', 'v'}));
}

TEST(RotateFrame90, NothingToTurnCopiesNothing) {
  struct Case {
    PixelType type;
    int h;
  };
  const Case cases[] = {{PixelType::RGB24, 0}, {PixelType::RGB32, 0}, {PixelType::YUY2, 0},
                        {PixelType::YUY2, -2}, {PixelType::NV12, -2}, {PixelType::NV12, 0},
                        {static_cast<PixelType>(7), 2}};
  const Bytes src(256, 0x11);
  for (const Case& c : cases) {
    Bytes dst(256, kUnwritten);
    RotateScratch scratch;
    const RotatedFrame r = RotateFrame90(c.type, src.data(), 4, c.h, 16, dst.data(), scratch);
    EXPECT_EQ(r.result, RotateResult::NothingToTurn) << int(c.type) << " " << c.h;
    EXPECT_EQ(dst, Bytes(256, kUnwritten));
  }
}

TEST(RotateFrame90, MatchesPixelByPixelTurn) {
  std::mt19937 rng(99);
  struct Case {
    PixelType type;
    int bytesPerPixel;  // of a source row; NV12 luma
  };
  const Case types[] = {{PixelType::RGB24, 3}, {PixelType::RGB32, 4}, {PixelType::YUY2, 2},
                        {PixelType::NV12, 1}};
  const int sizes[][2] = {{1, 1}, {2, 2}, {3, 5}, {16, 16}, {17, 33}, {34, 18},
                          {40, 7}, {7, 40}, {64, 48}, {99, 65}, {130, 34}, {640, 478}};
  for (const Case& t : types) {
    for (const auto& sz : sizes) {
      for (int sign : {1, -1}) {
        const bool rgb = t.type == PixelType::RGB24 || t.type == PixelType::RGB32;
        if (!rgb && sign < 0) continue;
        int w = sz[0], h = sz[1];
        if (t.type == PixelType::NV12) {
          w += w & 1;
          h += h & 1;
        }
        // NV12 is packed whatever step it carries; the others get padded rows.
        const int step = t.type == PixelType::NV12 ? w : t.bytesPerPixel * w + 5;
        // Exactly the frame, so a read past it shows under the address sanitizer.
        Bytes src(static_cast<size_t>(FrameBytes(t.type, step, h)));
        for (auto& b : src) b = static_cast<uint8_t>(rng());
        SCOPED_TRACE(::testing::Message() << int(t.type) << " " << w << "x" << sign * h);
        FrameGeometry g{};
        const Bytes actual = Turn(t.type, src, w, sign * h, step, &g);
        EXPECT_EQ(actual, ReferenceTurn(t.type, src, w, sign * h, step, kUnwritten));
      }
    }
  }
}

// The 24-bit transpose of every level this processor runs (with and without byte
// shuffles), over sizes around their tiles, reading an exact-size source and writing inside
// guards.
TEST(Transpose24, EveryLevelMatchesElementByElement) {
  std::mt19937 rng(7);
  for (CpuLevel level = 0; level <= levels::MachineCpuLevel(); ++level) {
    SCOPED_TRACE(::testing::Message() << "level " << level);
    const levels::Transpose transpose = levels::Transpose24AtLevel(level);
    for (int w : {1, 2, 5, 9, 10, 17, 26, 33}) {
      for (int h : {1, 2, 3, 16, 17, 18, 19, 35}) {
        const int srcStep = 3 * w + 1;
        const int dstStep = 3 * h + 2;
        Bytes src(static_cast<size_t>(srcStep) * h);
        for (auto& b : src) b = static_cast<uint8_t>(rng());
        GuardedBuffer dst(static_cast<size_t>(dstStep) * w, 0, kUnwritten);
        transpose(src.data(), srcStep, dst.data(), dstStep, w, h);
        ASSERT_TRUE(dst.GuardsIntact()) << w << "x" << h;
        for (int i = 0; i < w; ++i) {
          for (int j = 0; j < dstStep; ++j) {
            const uint8_t expected =
                j < 3 * h ? src[(j / 3) * srcStep + 3 * i + j % 3] : kUnwritten;
            ASSERT_EQ(dst[i * dstStep + j], expected) << w << "x" << h << " at " << i << "," << j;
          }
        }
      }
    }
  }
}

TEST(RotateFrame90, Yuy2OddHeightEndsRowsWithTwoByteGroup) {
  const int w = 4, h = 3;
  // Source rows of one grey each: every turned row holds the three greys, bottom row first.
  const uint8_t greys[h] = {40, 120, 200};
  Bytes src;
  for (uint8_t y : greys) {
    for (int x = 0; x < w / 2; ++x) src.insert(src.end(), {y, 128, y, 128});
  }
  // That row through the conversions the turn goes through: 24-bit pixels, then 3 YUY2
  // pixels, the last one a two-byte group (Y2 U2).
  uint8_t turnedBgr[9];
  for (int r = 0; r < h; ++r) {
    const uint8_t group[4] = {greys[r], 128, greys[r], 128};
    uint8_t bgr[6];
    ConvertYuy2ToBgr24(group, 4, bgr, 6, {2, 1});
    std::memcpy(&turnedBgr[(h - 1 - r) * 3], bgr, 3);
  }
  Bytes row(6, 0);
  ConvertBgr24ToYuy2(turnedBgr, 9, row.data(), 6, {3, 1});

  FrameGeometry g{};
  const Bytes out = Turn(PixelType::YUY2, src, w, h, 2 * w, &g);
  EXPECT_EQ(g.width, 3);
  EXPECT_EQ(g.rowStep, 6);
  ASSERT_EQ(out.size(), 24u);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(Bytes(out.begin() + r * 6, out.begin() + r * 6 + 6), row);
}

TEST(RotateScratch, KeepsBuffersAndGrowsOnlyWhenNeeded) {
  RotateScratch scratch;
  ASSERT_TRUE(scratch.Reserve(100, 200));
  uint8_t* first = scratch.First();
  uint8_t* second = scratch.Second();
  std::memset(second, 0x5A, 200);
  ASSERT_TRUE(scratch.Reserve(50, 200));
  EXPECT_EQ(scratch.First(), first);
  EXPECT_EQ(scratch.Second(), second);
  ASSERT_TRUE(scratch.Reserve(400, 10));
  EXPECT_EQ(scratch.Second(), second);
  EXPECT_EQ(second[199], 0x5A) << "the kept buffer keeps its bytes";
  // The grown one holds 400 bytes (the address sanitizer checks the writes).
  std::memset(scratch.First(), 0x11, 400);
  EXPECT_EQ(scratch.First()[399], 0x11);
}

TEST(RotateScratch, ReportsShortMemory) {
  RotateScratch scratch;
  ASSERT_TRUE(scratch.Reserve(16, 16));
  uint8_t* first = scratch.First();
  EXPECT_FALSE(scratch.Reserve(16, SIZE_MAX / 2));
  EXPECT_EQ(scratch.First(), first);
}

TEST(FlipRows, ReversesRowsWithTheirFiller) {
  const Bytes src = {1, 1, 1, 9, 2, 2, 2, 8, 3, 3, 3, 7};
  Bytes dst(12, 0);
  FlipRows(src.data(), 3, 4, dst.data());
  EXPECT_EQ(dst, (Bytes{3, 3, 3, 7, 2, 2, 2, 8, 1, 1, 1, 9}));
}

}  // namespace
}  // namespace pixora::kernels
