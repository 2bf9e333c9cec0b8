#include "cpu_dispatch.h"

#include <cpuid.h>

#include <atomic>

namespace pixora::kernels {
namespace {

constexpr uint32_t Bit(int n) { return 1u << n; }
constexpr bool HasBits(uint32_t reg, uint32_t bits) { return (reg & bits) == bits; }

// The whole set and its "read" mark travel in one word, so no thread sees a partial set.
constexpr uint32_t kReadMark = Bit(31);
std::atomic<uint32_t> g_features{0};

uint64_t ReadXcr0() {
  uint32_t lo = 0;
  uint32_t hi = 0;
  // Encoded as bytes so no -mxsave is needed; only run when OSXSAVE says it exists.
  asm volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));
  return (static_cast<uint64_t>(hi) << 32) | lo;
}

CpuFeatures ReadCpuFeatures() {
  uint32_t a = 0, b = 0, c = 0, d = 0;
  const uint32_t maxLeaf = __get_cpuid_max(0, nullptr);
  if (maxLeaf < 1) return {};
  __cpuid(1, a, b, c, d);
  const uint32_t ecx1 = c;

  CpuFeatures f;
  struct Leaf1Bit {
    int bit;
    CpuFeature feature;
  };
  for (const Leaf1Bit& e : {Leaf1Bit{0, CpuFeature::Sse3}, Leaf1Bit{9, CpuFeature::Ssse3},
                            Leaf1Bit{19, CpuFeature::Sse41}, Leaf1Bit{20, CpuFeature::Sse42},
                            Leaf1Bit{22, CpuFeature::Movbe}, Leaf1Bit{28, CpuFeature::Avx}}) {
    if (HasBits(ecx1, Bit(e.bit))) f = f | e.feature;
  }
  if (HasBits(ecx1, Bit(27) | Bit(28)) && HasBits(ReadXcr0(), Bit(1) | Bit(2))) {
    f = f | CpuFeature::OsAvxState;
  }
  if (maxLeaf >= 7) {
    __cpuid_count(7, 0, a, b, c, d);
    const uint32_t ebx7 = b;
    if (HasBits(ebx7, Bit(5) | Bit(3) | Bit(8)) && HasBits(ecx1, Bit(12))) {
      f = f | CpuFeature::Avx2;
    }
    struct Leaf7Bit {
      int bit;
      CpuFeature feature;
    };
    for (const Leaf7Bit& e :
         {Leaf7Bit{16, CpuFeature::Avx512F}, Leaf7Bit{17, CpuFeature::Avx512DQ},
          Leaf7Bit{26, CpuFeature::Avx512PF}, Leaf7Bit{27, CpuFeature::Avx512ER},
          Leaf7Bit{28, CpuFeature::Avx512CD}, Leaf7Bit{30, CpuFeature::Avx512BW},
          Leaf7Bit{31, CpuFeature::Avx512VL}}) {
      if (HasBits(ebx7, Bit(e.bit))) f = f | e.feature;
    }
  }
  return f;
}

constexpr CpuFeatures kAvxClass = CpuFeatures() | CpuFeature::Avx | CpuFeature::Avx2 |
                                  CpuFeature::Avx512F | CpuFeature::Avx512DQ |
                                  CpuFeature::Avx512PF | CpuFeature::Avx512ER |
                                  CpuFeature::Avx512CD | CpuFeature::Avx512BW |
                                  CpuFeature::Avx512VL;

}  // namespace

CpuFeatures DetectCpuFeatures() {
  uint32_t cached = g_features.load(std::memory_order_acquire);
  if ((cached & kReadMark) == 0) {
    cached = ReadCpuFeatures().Bits() | kReadMark;
    g_features.store(cached, std::memory_order_release);
  }
  return CpuFeatures(cached & ~kReadMark);
}

CpuLevel SelectCpuLevel(CpuFeatures f) {
  if (!f.Has(CpuFeature::OsAvxState)) f = f.Without(kAvxClass);
  using F = CpuFeature;
  struct Row {
    CpuFeatures all;  // every one of these, or
    CpuFeatures any;  // at least one of these
    CpuLevel level;
  };
  constexpr Row kLevels[] = {
      {F::Avx512F | F::Avx512CD | F::Avx512BW | F::Avx512DQ | F::Avx512VL, {}, 7},
      {F::Avx512F | F::Avx512CD | F::Avx512ER | F::Avx512PF, {}, 6},
      {CpuFeatures() | F::Avx2, {}, 5},
      {CpuFeatures() | F::Avx, {}, 4},
      {CpuFeatures() | F::Sse42, {}, 3},
      {{}, F::Sse41 | F::Movbe | F::Ssse3, 2},
      {CpuFeatures() | F::Sse3, {}, 1},
  };
  for (const Row& row : kLevels) {
    const bool applies = row.any.Bits() != 0 ? f.HasAny(row.any) : f.HasAll(row.all);
    if (applies) return row.level;
  }
  return 0;
}

}  // namespace pixora::kernels
