// Every vector variant against the generic one over random pictures: every byte of
// the region within one unit, every byte outside it untouched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "guarded_buffer.h"
#include "kernel_levels.h"

namespace pixora::kernels {
namespace {

using levels::Conversions;
using levels::ConversionsAtLevel;
using testing::GuardedBuffer;

struct Shape {
  int width;
  int height;
  int srcPad;  // bytes after each source row
  int dstPad;
  size_t misalign;
};

std::vector<Shape> Shapes() {
  std::mt19937 rng(1234);
  std::vector<Shape> shapes;
  auto pad = [&rng] { return static_cast<int>(rng() % 9); };
  for (int w = 1; w <= 67; ++w) shapes.push_back({w, 1 + w % 4, pad(), pad(), rng() % 4});
  for (int w : {96, 127, 128, 129, 255, 256, 257, 641, 1280}) {
    shapes.push_back({w, 3, pad(), pad(), rng() % 4});
  }
  return shapes;
}

enum class Op { Yuy2ToBgr24, Bgr24ToYuy2, Nv12ToBgr24, Bgr32ToBgr24 };

struct OpInfo {
  const char* name;
  int srcBytes;  // per pixel of a row (NV12: luma row; its chroma row has the same length)
  int dstBytes;
};

OpInfo Info(Op op) {
  switch (op) {
    case Op::Yuy2ToBgr24: return {"Yuy2ToBgr24", 2, 3};
    case Op::Bgr24ToYuy2: return {"Bgr24ToYuy2", 3, 2};
    case Op::Nv12ToBgr24: return {"Nv12ToBgr24", 1, 3};
    case Op::Bgr32ToBgr24: return {"Bgr32ToBgr24", 4, 3};
  }
  return {};
}

std::vector<uint8_t> RunConversion(const Conversions& conv, Op op, const Shape& s, const GuardedBuffer& src,
                         int srcStep, int dstStep, size_t dstBytes, KernelStatus* status,
                         bool* guardsIntact) {
  GuardedBuffer dst(dstBytes, s.misalign, 0x3C);
  const ImageSize size{s.width, s.height};
  switch (op) {
    case Op::Yuy2ToBgr24:
      *status = conv.yuy2ToBgr24(src.data(), srcStep, dst.data(), dstStep, size);
      break;
    case Op::Bgr24ToYuy2:
      *status = conv.bgr24ToYuy2(src.data(), srcStep, dst.data(), dstStep, size);
      break;
    case Op::Bgr32ToBgr24:
      *status = conv.bgr32ToBgr24(src.data(), srcStep, dst.data(), dstStep, size);
      break;
    case Op::Nv12ToBgr24: {
      const uint8_t* chroma = src.data() + static_cast<size_t>(srcStep) * s.height;
      *status = conv.nv12ToBgr24(src.data(), srcStep, chroma, srcStep, dst.data(), dstStep, size);
      break;
    }
  }
  *guardsIntact = dst.GuardsIntact();
  return dst.Contents();
}

class Variants : public ::testing::TestWithParam<CpuLevel> {};

TEST_P(Variants, AgreeWithGenericWithinOneUnit) {
  const Conversions generic = ConversionsAtLevel(0);
  const Conversions variant = ConversionsAtLevel(GetParam());
  std::mt19937 rng(GetParam() * 7919u);
  for (Op op : {Op::Yuy2ToBgr24, Op::Bgr24ToYuy2, Op::Nv12ToBgr24, Op::Bgr32ToBgr24}) {
    const OpInfo info = Info(op);
    for (const Shape& s : Shapes()) {
      SCOPED_TRACE(::testing::Message() << info.name << " " << s.width << "x" << s.height
                                        << " pads " << s.srcPad << "/" << s.dstPad
                                        << " misalign " << s.misalign);
      // NV12 rows of one chroma row serve two luma rows; give it room for that.
      const int height = op == Op::Nv12ToBgr24 ? 2 * s.height : s.height;
      const Shape shape{s.width, height, s.srcPad, s.dstPad, s.misalign};
      const int srcStep = info.srcBytes * s.width + s.srcPad;
      const int dstStep = info.dstBytes * s.width + s.dstPad;
      const size_t srcBytes = static_cast<size_t>(srcStep) * height * 2;  // room for chroma
      GuardedBuffer src(srcBytes, (s.misalign + 1) % 4);
      src.FillRandom(rng);
      const size_t dstBytes = static_cast<size_t>(dstStep) * height;
      const int written = op == Op::Nv12ToBgr24 ? s.width & ~1 : s.width;

      KernelStatus expectedStatus{}, status{};
      bool refGuards = false, guards = false;
      const auto expected =
          RunConversion(generic, op, shape, src, srcStep, dstStep, dstBytes, &expectedStatus, &refGuards);
      const auto actual = RunConversion(variant, op, shape, src, srcStep, dstStep, dstBytes, &status, &guards);
      ASSERT_EQ(status, expectedStatus);
      ASSERT_TRUE(refGuards);
      ASSERT_TRUE(guards) << "wrote outside the destination";
      for (size_t i = 0; i < actual.size(); ++i) {
        const int row = static_cast<int>(i / dstStep);
        const bool inRegion = static_cast<int>(i % dstStep) < info.dstBytes * written;
        const int limit = inRegion ? 1 : 0;
        ASSERT_LE(std::abs(actual[i] - expected[i]), limit)
            << "row " << row << " byte " << i % dstStep;
      }
    }
  }
}

std::vector<CpuLevel> VectorLevels() {
  std::vector<CpuLevel> result;
  for (CpuLevel l = 1; l <= levels::MachineCpuLevel(); ++l) result.push_back(l);
  return result;
}

INSTANTIATE_TEST_SUITE_P(Levels, Variants, ::testing::ValuesIn(VectorLevels()),
                         [](const auto& info) { return "Level" + std::to_string(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Variants);

}  // namespace
}  // namespace pixora::kernels
