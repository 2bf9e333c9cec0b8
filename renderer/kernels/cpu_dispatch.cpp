#include "cpu_dispatch.h"

#include <cpuid.h>

#include <atomic>

namespace pixora::kernels {
namespace {

constexpr uint32_t Bit(int n) { return 1u << n; }
constexpr bool HasBits(uint64_t reg, uint64_t bits) { return (reg & bits) == bits; }

// The whole set and its "read" mark travel in one word, so no thread sees a partial set.
constexpr uint32_t kReadMark = Bit(31);
std::atomic<uint32_t> g_features{0};

// One aligned 32-bit cell; racing initialisers all store the same value.
std::atomic<CpuLevel> g_cpuLevel{kNoCpuLevel};

constexpr uint32_t kOsXsave = Bit(27);
constexpr uint32_t kAvxBit = Bit(28);

uint64_t ReadXcr0() {
  uint32_t lo = 0;
  uint32_t hi = 0;
  // Encoded as bytes so no -mxsave is needed; only run when OSXSAVE says it exists.
  asm volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));
  return (static_cast<uint64_t>(hi) << 32) | lo;
}

CpuidRegisters ReadCpuidRegisters() {
  CpuidRegisters r;
  uint32_t a = 0, b = 0, c = 0, d = 0;
  r.maxBasicLeaf = __get_cpuid_max(0, nullptr);
  if (r.maxBasicLeaf < 1) return r;
  __cpuid(1, a, b, c, d);
  r.leaf1Ecx = c;
  // XGETBV faults where the operating system has not enabled it.
  if (HasBits(r.leaf1Ecx, kOsXsave | kAvxBit)) r.xcr0 = ReadXcr0();
  if (r.maxBasicLeaf >= 7) {
    __cpuid_count(7, 0, a, b, c, d);
    r.leaf7Ebx = b;
  }
  return r;
}

constexpr CpuFeatures kAvxClass = CpuFeatures() | CpuFeature::Avx | CpuFeature::Avx2 |
                                  CpuFeature::Avx512F | CpuFeature::Avx512DQ |
                                  CpuFeature::Avx512PF | CpuFeature::Avx512ER |
                                  CpuFeature::Avx512CD | CpuFeature::Avx512BW |
                                  CpuFeature::Avx512VL;

}  // namespace

CpuFeatures DecodeCpuFeatures(const CpuidRegisters& r) {
  if (r.maxBasicLeaf < 1) return {};
  CpuFeatures f;
  struct RegisterBit {
    int bit;
    CpuFeature feature;
  };
  for (const RegisterBit& e :
       {RegisterBit{0, CpuFeature::Sse3}, RegisterBit{9, CpuFeature::Ssse3},
        RegisterBit{19, CpuFeature::Sse41}, RegisterBit{20, CpuFeature::Sse42},
        RegisterBit{22, CpuFeature::Movbe}, RegisterBit{28, CpuFeature::Avx}}) {
    if (HasBits(r.leaf1Ecx, Bit(e.bit))) f = f | e.feature;
  }
  if (HasBits(r.leaf1Ecx, kOsXsave | kAvxBit) && HasBits(r.xcr0, Bit(1) | Bit(2))) {
    f = f | CpuFeature::OsAvxState;
  }
  if (r.maxBasicLeaf < 7) return f;
  if (HasBits(r.leaf7Ebx, Bit(5) | Bit(3) | Bit(8)) && HasBits(r.leaf1Ecx, Bit(12))) {
    f = f | CpuFeature::Avx2;
  }
  for (const RegisterBit& e :
       {RegisterBit{16, CpuFeature::Avx512F}, RegisterBit{17, CpuFeature::Avx512DQ},
        RegisterBit{26, CpuFeature::Avx512PF}, RegisterBit{27, CpuFeature::Avx512ER},
        RegisterBit{28, CpuFeature::Avx512CD}, RegisterBit{30, CpuFeature::Avx512BW},
        RegisterBit{31, CpuFeature::Avx512VL}}) {
    if (HasBits(r.leaf7Ebx, Bit(e.bit))) f = f | e.feature;
  }
  return f;
}

CpuFeatures DetectCpuFeatures() {
  uint32_t cached = g_features.load(std::memory_order_acquire);
  if ((cached & kReadMark) == 0) {
    cached = DecodeCpuFeatures(ReadCpuidRegisters()).Bits() | kReadMark;
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

void InitKernels() {
  g_cpuLevel.store(SelectCpuLevel(DetectCpuFeatures()), std::memory_order_relaxed);
}

CpuLevel ChosenCpuLevel() { return g_cpuLevel.load(std::memory_order_relaxed); }

}  // namespace pixora::kernels
