#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "convert.h"
#include "cpu_dispatch.h"
#include "kernel_levels.h"

namespace pixora::kernels {
namespace {

using F = CpuFeature;

CpuFeatures Set(std::initializer_list<CpuFeature> fs) {
  CpuFeatures s;
  for (CpuFeature f : fs) s = s | f;
  return s;
}

TEST(SelectCpuLevel, LevelTable) {
  const auto os = F::OsAvxState;
  struct Case {
    CpuFeatures features;
    CpuLevel level;
  };
  const Case cases[] = {
      {Set({}), 0},
      {Set({F::Sse3}), 1},
      {Set({F::Sse3, F::Ssse3}), 2},
      {Set({F::Sse3, F::Movbe}), 2},
      {Set({F::Sse41}), 2},
      {Set({F::Sse3, F::Ssse3, F::Sse41, F::Sse42}), 3},
      {Set({F::Sse42, F::Avx, os}), 4},
      {Set({F::Sse42, F::Avx, F::Avx2, os}), 5},
      {Set({F::Avx2, F::Avx512F, F::Avx512CD, os}), 5},
      {Set({F::Avx2, F::Avx512F, F::Avx512CD, F::Avx512ER, F::Avx512PF, os}), 6},
      {Set({F::Avx2, F::Avx512F, F::Avx512CD, F::Avx512BW, F::Avx512DQ, F::Avx512VL, os}), 7},
      {Set({F::Avx512F, F::Avx512CD, F::Avx512BW, F::Avx512DQ, F::Avx512VL, F::Avx512ER,
            F::Avx512PF, os}),
       7},
      // Without the operating system's AVX state every AVX-class feature goes.
      {Set({F::Sse3, F::Ssse3, F::Sse41, F::Sse42, F::Avx, F::Avx2}), 3},
      {Set({F::Sse3, F::Avx, F::Avx2, F::Avx512F, F::Avx512CD, F::Avx512BW, F::Avx512DQ,
            F::Avx512VL}),
       1},
      {Set({F::Avx}), 0},
      // The OS state alone enables nothing.
      {Set({os}), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelectCpuLevel(c.features), c.level) << "features 0x" << std::hex
                                                   << c.features.Bits();
  }
}

TEST(DetectCpuFeatures, CachedAndConsistent) {
  const CpuFeatures first = DetectCpuFeatures();
  std::vector<std::thread> threads;
  std::vector<uint32_t> seen(4);
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = DetectCpuFeatures().Bits(); });
  }
  for (auto& t : threads) t.join();
  for (uint32_t bits : seen) EXPECT_EQ(bits, first.Bits());
  // x86-64 machines that run these tests have at least SSE3.
  EXPECT_TRUE(first.Has(F::Sse3));
  if (first.Has(F::Avx2)) EXPECT_TRUE(first.Has(F::Avx));
}

// Runs first in this process (gtest keeps file order and this binary has no other
// conversion calls before it): the first call goes through the first-call entry.
TEST(Dispatch, FirstCallMatchesLaterCallsAndChoosesOnce) {
  ASSERT_EQ(levels::ChosenCpuLevel(), kNoCpuLevel);
  std::vector<uint8_t> src(4 * 64 * 4);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
  std::vector<uint8_t> first(3 * 64 * 4), later(3 * 64 * 4);
  const KernelStatus s1 = ConvertYuy2ToBgr24(src.data(), 128, first.data(), 192, {64, 4});
  EXPECT_EQ(levels::ChosenCpuLevel(), levels::MachineCpuLevel());
  const KernelStatus s2 = ConvertYuy2ToBgr24(src.data(), 128, later.data(), 192, {64, 4});
  EXPECT_EQ(s1, s2);
  EXPECT_EQ(first, later);

  const auto chosen = levels::ConversionsAtLevel(levels::MachineCpuLevel());
  std::vector<uint8_t> direct(later.size());
  chosen.yuy2ToBgr24(src.data(), 128, direct.data(), 192, {64, 4});
  EXPECT_EQ(direct, later);
}

}  // namespace
}  // namespace pixora::kernels
