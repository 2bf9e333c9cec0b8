#include "rotate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "convert.h"
#include "guarded_buffer.h"
#include "transpose.h"

namespace pixora::kernels {
namespace {

using testing::GuardedBuffer;
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

// The plain meaning of the turn, written pixel by pixel.
Bytes ReferenceTurn(PixelType type, const Bytes& src, int w, int h, int step) {
  const FrameGeometry g = RotatedGeometry(type, w, h);
  Bytes dst(static_cast<size_t>(FrameBytes(type, g.rowStep, g.height)), kUnwritten);
  const int rows = h < 0 ? -h : h;
  if (type == PixelType::RGB24 || type == PixelType::RGB32) {
    const int p = type == PixelType::RGB24 ? 3 : 4;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < w; ++c) {
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
  } else {  // YUY2 through 24-bit pictures, with the dispatched conversions
    const int s1 = Rgb24RowStep(w);
    const int s2 = Rgb24RowStep(h);
    Bytes first(static_cast<size_t>(s1) * h), second(static_cast<size_t>(s2) * w);
    ConvertYuy2ToBgr24(src.data(), step, first.data(), s1, {w, h});
    for (int r = 0; r < h; ++r) {
      for (int c = 0; c < w; ++c) std::memcpy(&second[c * s2 + (h - 1 - r) * 3], &first[r * s1 + c * 3], 3);
    }
    ConvertBgr24ToYuy2(second.data(), s2, dst.data(), 2 * h, {h, w});
  }
  return dst;
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
        EXPECT_EQ(actual, ReferenceTurn(t.type, src, w, sign * h, step));
      }
    }
  }
}

// Both 24-bit transposes, with and without byte shuffles, over sizes around their tiles,
// reading an exact-size source and writing inside guards.
TEST(Transpose24, BothTilingsMatchElementByElement) {
  std::mt19937 rng(7);
  for (auto transpose : {transpose::Transpose24, transpose::Transpose24Plain}) {
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
  Bytes src(static_cast<size_t>(2 * w * h), 128);
  FrameGeometry g{};
  const Bytes out = Turn(PixelType::YUY2, src, w, h, 2 * w, &g);
  EXPECT_EQ(g.width, 3);
  EXPECT_EQ(g.rowStep, 6);
  ASSERT_EQ(out.size(), 24u);
  for (int row = 0; row < 4; ++row) {
    // Y0 U Y1 V then Y2 U2: every byte of the 6-byte row is written.
    for (int b = 0; b < 6; ++b) EXPECT_NE(out[row * 6 + b], kUnwritten);
  }
}

TEST(RotateScratch, KeepsBuffersAndGrowsOnlyWhenNeeded) {
  RotateScratch scratch;
  ASSERT_TRUE(scratch.Reserve(100, 200));
  uint8_t* first = scratch.First();
  ASSERT_TRUE(scratch.Reserve(50, 200));
  EXPECT_EQ(scratch.First(), first);
  ASSERT_TRUE(scratch.Reserve(400, 10));
  EXPECT_NE(scratch.First(), nullptr);
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
