#pragma once

#include <cstdint>

namespace pixora::kernels {

enum class CpuFeature : uint32_t {
  Sse3 = 1u << 0,
  Ssse3 = 1u << 1,
  Sse41 = 1u << 2,
  Sse42 = 1u << 3,
  Movbe = 1u << 4,
  Avx = 1u << 5,
  OsAvxState = 1u << 6,
  Avx2 = 1u << 7,
  Avx512F = 1u << 8,
  Avx512DQ = 1u << 9,
  Avx512PF = 1u << 10,
  Avx512ER = 1u << 11,
  Avx512CD = 1u << 12,
  Avx512BW = 1u << 13,
  Avx512VL = 1u << 14,
};

class CpuFeatures {
 public:
  constexpr CpuFeatures() = default;
  constexpr explicit CpuFeatures(uint32_t bits) : bits_(bits) {}

  constexpr bool Has(CpuFeature f) const { return (bits_ & static_cast<uint32_t>(f)) != 0; }
  constexpr bool HasAll(CpuFeatures fs) const { return (bits_ & fs.bits_) == fs.bits_; }
  constexpr bool HasAny(CpuFeatures fs) const { return (bits_ & fs.bits_) != 0; }
  constexpr CpuFeatures Without(CpuFeatures fs) const { return CpuFeatures(bits_ & ~fs.bits_); }
  constexpr uint32_t Bits() const { return bits_; }

  constexpr CpuFeatures operator|(CpuFeature f) const {
    return CpuFeatures(bits_ | static_cast<uint32_t>(f));
  }
  constexpr CpuFeatures operator|(CpuFeatures fs) const { return CpuFeatures(bits_ | fs.bits_); }
  constexpr bool operator==(CpuFeatures o) const { return bits_ == o.bits_; }

 private:
  uint32_t bits_ = 0;
};

constexpr CpuFeatures operator|(CpuFeature a, CpuFeature b) { return CpuFeatures() | a | b; }

// -1 while no level has been chosen, then 0 (SSE2 baseline) to 7 (AVX-512 with BW/DQ/VL).
using CpuLevel = int32_t;
constexpr CpuLevel kNoCpuLevel = -1;
constexpr CpuLevel kMaxCpuLevel = 7;

// What the identification instructions report, as DetectCpuFeatures reads them.
struct CpuidRegisters {
  uint32_t maxBasicLeaf = 0;  // CPUID leaf 0, EAX
  uint32_t leaf1Ecx = 0;      // CPUID leaf 1, ECX
  uint32_t leaf7Ebx = 0;      // CPUID leaf 7 sub-leaf 0, EBX; read only when leaf 7 exists
  uint64_t xcr0 = 0;          // XGETBV(0); read only when leaf 1 has OSXSAVE and AVX
};

// The feature set those registers describe; no instruction is executed.
CpuFeatures DecodeCpuFeatures(const CpuidRegisters& registers);

// Reads CPUID and XGETBV on the first call, returns the cached set afterwards.
CpuFeatures DetectCpuFeatures();

CpuLevel SelectCpuLevel(CpuFeatures features);

// Chooses the level for the conversions and the 24-bit transpose. Safe to race: every run
// stores the same value.
void InitKernels();

// The level InitKernels stored, or kNoCpuLevel before it ran. One relaxed load.
CpuLevel ChosenCpuLevel();

}  // namespace pixora::kernels
