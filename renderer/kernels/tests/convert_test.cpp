#include "convert.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "guarded_buffer.h"
#include "kernel_levels.h"

namespace pixora::kernels {
namespace {

using levels::Conversions;
using levels::ConversionsAtLevel;
using testing::GuardedBuffer;

using Bytes = std::vector<uint8_t>;

// Level 0 is the reference and must match exactly; every other level may differ by one.
class ConversionLevels : public ::testing::TestWithParam<CpuLevel> {
 protected:
  Conversions conv() const { return ConversionsAtLevel(GetParam()); }
  int tolerance() const { return GetParam() == 0 ? 0 : 1; }

  void ExpectNear(const Bytes& actual, const Bytes& expected) const {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
      EXPECT_LE(std::abs(actual[i] - expected[i]), tolerance())
          << "byte " << i << ": " << int(actual[i]) << " vs " << int(expected[i]);
    }
  }
};

Bytes Yuy2Row(uint8_t y, uint8_t u, uint8_t v, int pairs) {
  Bytes row;
  for (int i = 0; i < pairs; ++i) row.insert(row.end(), {y, u, y, v});
  return row;
}

TEST_P(ConversionLevels, YuvToBgrValues) {
  struct Case {
    uint8_t y, u, v;
    std::array<uint8_t, 3> bgr;
  };
  const Case cases[] = {
      {16, 128, 128, {0, 0, 0}},
      {235, 128, 128, {255, 255, 255}},
      {128, 128, 128, {130, 130, 130}},
      {81, 90, 240, {0, 0, 254}},
  };
  constexpr int kPairs = 40;  // long enough to reach every vector path
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.y) << "," << int(c.u) << "," << int(c.v));
    Bytes expected;
    for (int i = 0; i < 2 * kPairs; ++i) expected.insert(expected.end(), c.bgr.begin(), c.bgr.end());

    const Bytes yuy2 = Yuy2Row(c.y, c.u, c.v, kPairs);
    Bytes out(6 * kPairs);
    ASSERT_EQ(conv().yuy2ToBgr24(yuy2.data(), 4 * kPairs, out.data(), 6 * kPairs, {2 * kPairs, 1}),
              KernelStatus::Ok);
    ExpectNear(out, expected);

    // NV12: two luma rows sharing one chroma row.
    const Bytes luma(4 * kPairs, c.y);
    Bytes chroma;
    for (int i = 0; i < kPairs; ++i) chroma.insert(chroma.end(), {c.u, c.v});
    Bytes nv12Out(12 * kPairs);
    ASSERT_EQ(conv().nv12ToBgr24(luma.data(), 2 * kPairs, chroma.data(), 2 * kPairs,
                                 nv12Out.data(), 6 * kPairs, {2 * kPairs, 2}),
              KernelStatus::Ok);
    expected.insert(expected.end(), expected.begin(), expected.end());
    ExpectNear(nv12Out, expected);
  }
}

TEST_P(ConversionLevels, BgrToYuy2Values) {
  struct Case {
    std::array<uint8_t, 3> bgr;
    std::array<uint8_t, 4> yuyv;
  };
  const Case cases[] = {
      {{255, 255, 255}, {235, 128, 235, 128}},
      {{0, 0, 0}, {16, 128, 16, 128}},
      {{0, 0, 255}, {82, 90, 82, 240}},
  };
  constexpr int kWidth = 80;
  for (const Case& c : cases) {
    Bytes bgr;
    Bytes expected;
    for (int i = 0; i < kWidth; ++i) bgr.insert(bgr.end(), c.bgr.begin(), c.bgr.end());
    for (int i = 0; i < kWidth / 2; ++i) expected.insert(expected.end(), c.yuyv.begin(), c.yuyv.end());
    Bytes out(2 * kWidth);
    ASSERT_EQ(conv().bgr24ToYuy2(bgr.data(), 3 * kWidth, out.data(), 2 * kWidth, {kWidth, 1}),
              KernelStatus::Ok);
    ExpectNear(out, expected);
  }
}

// Odd widths: the last YUY2 pixel borrows V from the group before it, or uses its own U
// at width 1; the last BGR pixel yields a two-byte Y,U group.
TEST_P(ConversionLevels, OddWidths) {
  // Width 1: (81, 240) read as Y, U; U serves as V too.
  Bytes one(3, 0x77);
  const Bytes yuy2One = {81, 240};
  conv().yuy2ToBgr24(yuy2One.data(), 2, one.data(), 4, {1, 1});
  const Bytes asIfV240 = {81, 240, 81, 240};
  Bytes ref(6);
  ConversionsAtLevel(0).yuy2ToBgr24(asIfV240.data(), 4, ref.data(), 6, {2, 1});
  ExpectNear(one, Bytes(ref.begin(), ref.begin() + 3));

  // Width 3: the third pixel uses the first group's V.
  const Bytes yuy2Three = {16, 128, 235, 240, 81, 90};
  Bytes three(9);
  conv().yuy2ToBgr24(yuy2Three.data(), 6, three.data(), 9, {3, 1});
  const Bytes third = {81, 90, 81, 240};
  ConversionsAtLevel(0).yuy2ToBgr24(third.data(), 4, ref.data(), 6, {2, 1});
  ExpectNear(Bytes(three.begin() + 6, three.end()), Bytes(ref.begin(), ref.begin() + 3));

  // BGR width 3: Y0 U Y1 V Y2 U2, red as the third pixel.
  const Bytes bgrThree = {255, 255, 255, 255, 255, 255, 0, 0, 255};
  GuardedBuffer yuy2(6);
  conv().bgr24ToYuy2(bgrThree.data(), 9, yuy2.data(), 6, {3, 1});
  ExpectNear(yuy2.Contents(), {235, 128, 235, 128, 82, 90});
  EXPECT_TRUE(yuy2.GuardsIntact());
}

TEST_P(ConversionLevels, Nv12OddSizeLeavesLastColumnAndRow) {
  const Bytes luma(5 * 3, 128);
  const Bytes chroma(4 * 2, 128);
  constexpr int kStep = 16;
  GuardedBuffer dst(kStep * 3, 0, 0xEE);
  EXPECT_EQ(conv().nv12ToBgr24(luma.data(), 5, chroma.data(), 4, dst.data(), kStep, {5, 3}),
            KernelStatus::OddSize);
  for (int row = 0; row < 3; ++row) {
    for (int byte = 0; byte < kStep; ++byte) {
      const bool converted = row < 2 && byte < 12;
      EXPECT_EQ(dst[row * kStep + byte], converted ? 130 : 0xEE) << row << "," << byte;
    }
  }
}

TEST_P(ConversionLevels, RejectsNullBeforeSizeAndLeavesDestinationAlone) {
  Bytes src(64, 100);
  struct Case {
    bool nullSrc, nullDst;
    ImageSize size;
    KernelStatus expected;
  };
  const Case cases[] = {
      {true, false, {4, 2}, KernelStatus::NullPointer},
      {false, true, {4, 2}, KernelStatus::NullPointer},
      {true, false, {0, 0}, KernelStatus::NullPointer},
      {false, false, {0, 2}, KernelStatus::BadSize},
      {false, false, {4, 0}, KernelStatus::BadSize},
      {false, false, {-4, 2}, KernelStatus::BadSize},
      {false, false, {4, -1}, KernelStatus::BadSize},
  };
  for (const Case& c : cases) {
    GuardedBuffer dst(64, 0, 0x5A);
    const uint8_t* s = c.nullSrc ? nullptr : src.data();
    uint8_t* d = c.nullDst ? nullptr : dst.data();
    EXPECT_EQ(conv().yuy2ToBgr24(s, 8, d, 12, c.size), c.expected);
    EXPECT_EQ(conv().bgr24ToYuy2(s, 12, d, 8, c.size), c.expected);
    EXPECT_EQ(conv().bgr32ToBgr24(s, 16, d, 12, c.size), c.expected);
    EXPECT_EQ(conv().nv12ToBgr24(s, 4, s, 4, d, 12, c.size), c.expected);
    EXPECT_EQ(conv().nv12ToBgr24(src.data(), 4, c.nullSrc ? nullptr : src.data(), 4, d, 12, c.size),
              c.expected);
    EXPECT_EQ(dst.Contents(), Bytes(64, 0x5A));
  }
}

TEST_P(ConversionLevels, Bgr32DropsFourthByteAndKeepsFiller) {
  constexpr int kWidth = 37;
  constexpr int kRows = 3;
  const int dstStep = Rgb24RowStep(kWidth);  // 112: one filler byte per row
  Bytes src;
  Bytes expected(dstStep * kRows, 0xF1);
  for (int r = 0; r < kRows; ++r) {
    for (int x = 0; x < kWidth; ++x) {
      const uint8_t b = uint8_t(x), g = uint8_t(x + r), red = uint8_t(200 - x);
      src.insert(src.end(), {b, g, red, uint8_t(x * 7 + r)});
      expected[r * dstStep + 3 * x] = b;
      expected[r * dstStep + 3 * x + 1] = g;
      expected[r * dstStep + 3 * x + 2] = red;
    }
  }
  GuardedBuffer dst(expected.size(), 0, 0xF1);
  ASSERT_EQ(conv().bgr32ToBgr24(src.data(), 4 * kWidth, dst.data(), dstStep, {kWidth, kRows}),
            KernelStatus::Ok);
  EXPECT_EQ(dst.Contents(), expected);  // a copy: exact at every level
  EXPECT_TRUE(dst.GuardsIntact());
}

std::vector<CpuLevel> LevelsOfThisMachine() {
  std::vector<CpuLevel> result;
  for (CpuLevel l = 0; l <= levels::MachineCpuLevel(); ++l) result.push_back(l);
  return result;
}

INSTANTIATE_TEST_SUITE_P(Levels, ConversionLevels, ::testing::ValuesIn(LevelsOfThisMachine()),
                         [](const auto& info) { return "Level" + std::to_string(info.param); });

// The reference YUY2 conversions undo each other within one unit: Y, U, V made from two
// pixels of one colour come back from B,G,R unchanged or one unit away.
TEST(ConversionRoundTrip, Yuy2ThroughBgrKeepsYuvWithinOne) {
  const Conversions ref = ConversionsAtLevel(0);
  for (int b = 0; b < 256; b += 5) {
    for (int g = 0; g < 256; g += 3) {
      for (int r = 0; r < 256; r += 7) {
        const Bytes bgr = {uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(b), uint8_t(g), uint8_t(r)};
        Bytes yuy2(4), again(6), back(4);
        ref.bgr24ToYuy2(bgr.data(), 6, yuy2.data(), 4, {2, 1});
        ref.yuy2ToBgr24(yuy2.data(), 4, again.data(), 6, {2, 1});
        ref.bgr24ToYuy2(again.data(), 6, back.data(), 4, {2, 1});
        for (int i = 0; i < 4; ++i) {
          ASSERT_LE(std::abs(back[i] - yuy2[i]), 1) << b << "," << g << "," << r;
        }
      }
    }
  }
}

}  // namespace
}  // namespace pixora::kernels
