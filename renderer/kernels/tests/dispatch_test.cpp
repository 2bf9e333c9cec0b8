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

// Every feature bit on its own, so that reading any feature from another bit fails here.
TEST(DecodeCpuFeatures, EachBitGivesItsFeatureAlone) {
  struct Case {
    uint32_t leaf1Ecx;
    uint32_t leaf7Ebx;
    CpuFeatures features;
  };
  const Case cases[] = {
      {1u << 0, 0, Set({F::Sse3})},
      {1u << 9, 0, Set({F::Ssse3})},
      {1u << 19, 0, Set({F::Sse41})},
      {1u << 20, 0, Set({F::Sse42})},
      {1u << 22, 0, Set({F::Movbe})},
      {1u << 28, 0, Set({F::Avx})},
      {0, 1u << 16, Set({F::Avx512F})},
      {0, 1u << 17, Set({F::Avx512DQ})},
      {0, 1u << 26, Set({F::Avx512PF})},
      {0, 1u << 27, Set({F::Avx512ER})},
      {0, 1u << 28, Set({F::Avx512CD})},
      {0, 1u << 30, Set({F::Avx512BW})},
      {0, 1u << 31, Set({F::Avx512VL})},
      // Bits next to the features' own give nothing.
      {(1u << 1) | (1u << 8) | (1u << 10) | (1u << 18) | (1u << 21) | (1u << 23) | (1u << 29),
       (1u << 15) | (1u << 18) | (1u << 25) | (1u << 29), Set({})},
  };
  for (const Case& c : cases) {
    const CpuidRegisters r{7, c.leaf1Ecx, c.leaf7Ebx, 0};
    EXPECT_EQ(DecodeCpuFeatures(r).Bits(), c.features.Bits())
        << std::hex << "leaf 1 ECX 0x" << c.leaf1Ecx << ", leaf 7 EBX 0x" << c.leaf7Ebx;
  }
}

// AVX2 needs AVX2, BMI1 and BMI2 in leaf 7 and FMA in leaf 1; the operating system's AVX
// state needs OSXSAVE and AVX in leaf 1 and both register states in XCR0. Each missing
// piece alone takes the feature away.
TEST(DecodeCpuFeatures, CompoundFeaturesNeedEveryBit) {
  constexpr uint32_t kFma = 1u << 12, kOsXsave = 1u << 27, kAvx = 1u << 28;
  constexpr uint32_t kBmi1 = 1u << 3, kAvx2 = 1u << 5, kBmi2 = 1u << 8;
  constexpr uint64_t kSseState = 1u << 1, kAvxState = 1u << 2;
  struct Case {
    const char* what;
    CpuidRegisters r;
    CpuFeatures features;
  };
  const Case cases[] = {
      {"all", {7, kFma | kOsXsave | kAvx, kBmi1 | kAvx2 | kBmi2, kSseState | kAvxState},
       Set({F::Avx, F::OsAvxState, F::Avx2})},
      {"no FMA", {7, kOsXsave | kAvx, kBmi1 | kAvx2 | kBmi2, kSseState | kAvxState},
       Set({F::Avx, F::OsAvxState})},
      {"no BMI1", {7, kFma | kOsXsave | kAvx, kAvx2 | kBmi2, kSseState | kAvxState},
       Set({F::Avx, F::OsAvxState})},
      {"no AVX2 bit", {7, kFma | kOsXsave | kAvx, kBmi1 | kBmi2, kSseState | kAvxState},
       Set({F::Avx, F::OsAvxState})},
      {"no BMI2", {7, kFma | kOsXsave | kAvx, kBmi1 | kAvx2, kSseState | kAvxState},
       Set({F::Avx, F::OsAvxState})},
      {"no OSXSAVE", {7, kFma | kAvx, kBmi1 | kAvx2 | kBmi2, kSseState | kAvxState},
       Set({F::Avx, F::Avx2})},
      {"no AVX bit", {7, kFma | kOsXsave, kBmi1 | kAvx2 | kBmi2, kSseState | kAvxState},
       Set({F::Avx2})},
      {"no SSE state", {7, kFma | kOsXsave | kAvx, kBmi1 | kAvx2 | kBmi2, kAvxState},
       Set({F::Avx, F::Avx2})},
      {"no AVX state", {7, kFma | kOsXsave | kAvx, kBmi1 | kAvx2 | kBmi2, kSseState},
       Set({F::Avx, F::Avx2})},
      {"highest leaf 6", {6, kFma | kOsXsave | kAvx, 0xFFFFFFFF, kSseState | kAvxState},
       Set({F::Avx, F::OsAvxState})},
      {"highest leaf 0", {0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, Set({})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeCpuFeatures(c.r).Bits(), c.features.Bits()) << c.what;
  }
}

// Register values modelled on what these processors report, unrelated bits included, and
// the level each gets.
TEST(DecodeCpuFeatures, ProcessorsGetTheirLevels) {
  const auto os = F::OsAvxState;
  const CpuFeatures sse4 = Set({F::Sse3, F::Ssse3, F::Sse41, F::Sse42, F::Movbe});
  struct Case {
    const char* what;
    CpuidRegisters r;
    CpuFeatures features;
    CpuLevel level;
  };
  const Case cases[] = {
      {"Core 2 (Conroe)", {0xA, 0x0000E3BD, 0, 0}, Set({F::Sse3, F::Ssse3}), 2},
      {"Atom N270", {0xA, 0x0040C39D, 0, 0}, Set({F::Sse3, F::Ssse3, F::Movbe}), 2},
      {"Core i7 (Nehalem)", {0xB, 0x0098E3BD, 0, 0},
       Set({F::Sse3, F::Ssse3, F::Sse41, F::Sse42}), 3},
      {"Core i7 (Haswell)", {0xD, 0x7FFAFBBF, 0x000027AB, 0x7},
       sse4 | Set({F::Avx, os, F::Avx2}), 5},
      {"Haswell, AVX state not enabled", {0xD, 0x7FFAFBBF, 0x000027AB, 0x3},
       sse4 | Set({F::Avx, F::Avx2}), 3},
      {"Ryzen (Zen 2)", {0x10, 0x7ED8320B, 0x219C91A9, 0x7}, sse4 | Set({F::Avx, os, F::Avx2}),
       5},
      {"Xeon Phi (Knights Landing)", {0xD, 0x7FF8F3BF, 0x1C0D23AB, 0xE7},
       sse4 | Set({F::Avx, os, F::Avx2, F::Avx512F, F::Avx512CD, F::Avx512ER, F::Avx512PF}), 6},
      {"Xeon (Skylake-SP)", {0x16, 0x7FFEFBFF, 0xD39FFFFB, 0x2E7},
       sse4 | Set({F::Avx, os, F::Avx2, F::Avx512F, F::Avx512DQ, F::Avx512CD, F::Avx512BW,
                   F::Avx512VL}),
       7},
  };
  for (const Case& c : cases) {
    const CpuFeatures decoded = DecodeCpuFeatures(c.r);
    EXPECT_EQ(decoded.Bits(), c.features.Bits()) << c.what;
    EXPECT_EQ(SelectCpuLevel(decoded), c.level) << c.what;
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
  ASSERT_EQ(ChosenCpuLevel(), kNoCpuLevel);
  std::vector<uint8_t> src(4 * 64 * 4);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
  std::vector<uint8_t> first(3 * 64 * 4), later(3 * 64 * 4);
  const KernelStatus s1 = ConvertYuy2ToBgr24(src.data(), 128, first.data(), 192, {64, 4});
  EXPECT_EQ(ChosenCpuLevel(), levels::MachineCpuLevel());
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
