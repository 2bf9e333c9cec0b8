#include "convert.h"

#include <array>

#include "kernel_levels.h"
#include "row_kernels.h"

namespace pixora::kernels {
namespace {

using levels::Nv12Conversion;
using levels::SingleSourceConversion;
namespace r = rows;

CpuLevel Level() { return ChosenCpuLevel(); }

// Pixels of a row that a vector kernel of the given block takes. An odd last pixel of a
// YUY2 row borrows V from the group before it, so it never stays alone in the tail.
constexpr int VectorWidth(int width, int block) {
  int n = width / block * block;
  if ((width & 1) != 0 && width - n == 1 && n > 0) n -= block;
  return n;
}

template <auto Vector, int Block, auto Generic, int SrcBytes, int DstBytes>
void RowWithTail(const uint8_t* src, uint8_t* dst, int width) {
  const int n = VectorWidth(width, Block);
  if (n > 0) Vector(src, dst, n);
  if (n < width) Generic(src + n * SrcBytes, dst + n * DstBytes, width - n);
}

template <auto Vector, int Block>
void Nv12RowWithTail(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width) {
  const int n = width / Block * Block;
  if (n > 0) Vector(luma, chroma, dst, n);
  if (n < width) r::Nv12ToBgr24Row_Generic(luma + n, chroma + n, dst + 3 * n, width - n);
}

bool BadSize(ImageSize size) { return size.width <= 0 || size.height <= 0; }

template <auto Row>
KernelStatus ConvertRows(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                         ImageSize size) {
  if (src == nullptr || dst == nullptr) return KernelStatus::NullPointer;
  if (BadSize(size)) return KernelStatus::BadSize;
  for (int32_t y = 0; y < size.height; ++y, src += srcStep, dst += dstStep) {
    Row(src, dst, size.width);
  }
  return KernelStatus::Ok;
}

template <auto Row>
KernelStatus ConvertNv12Rows(const uint8_t* luma, int32_t lumaStep, const uint8_t* chroma,
                             int32_t chromaStep, uint8_t* dst, int32_t dstStep,
                             ImageSize size) {
  if (luma == nullptr || chroma == nullptr || dst == nullptr) return KernelStatus::NullPointer;
  if (BadSize(size)) return KernelStatus::BadSize;
  const int evenWidth = size.width & ~1;
  for (int32_t y = 0; y + 1 < size.height; y += 2) {
    Row(luma, chroma, dst, evenWidth);
    Row(luma + lumaStep, chroma, dst + dstStep, evenWidth);
    luma += 2 * static_cast<ptrdiff_t>(lumaStep);
    chroma += chromaStep;
    dst += 2 * static_cast<ptrdiff_t>(dstStep);
  }
  const bool odd = ((size.width | size.height) & 1) != 0;
  return odd ? KernelStatus::OddSize : KernelStatus::Ok;
}

template <auto Vector, int Block>
constexpr SingleSourceConversion Yuy2ToBgr24 =
    ConvertRows<RowWithTail<Vector, Block, r::Yuy2ToBgr24Row_Generic, 2, 3>>;
template <auto Vector, int Block>
constexpr SingleSourceConversion Bgr24ToYuy2 =
    ConvertRows<RowWithTail<Vector, Block, r::Bgr24ToYuy2Row_Generic, 3, 2>>;
template <auto Vector, int Block>
constexpr SingleSourceConversion Bgr32ToBgr24 =
    ConvertRows<RowWithTail<Vector, Block, r::Bgr32ToBgr24Row_Generic, 4, 3>>;
template <auto Vector, int Block>
constexpr Nv12Conversion Nv12ToBgr24 = ConvertNv12Rows<Nv12RowWithTail<Vector, Block>>;

constexpr SingleSourceConversion kYuy2ToBgr24Generic = ConvertRows<r::Yuy2ToBgr24Row_Generic>;
constexpr SingleSourceConversion kBgr24ToYuy2Generic = ConvertRows<r::Bgr24ToYuy2Row_Generic>;
constexpr SingleSourceConversion kBgr32ToBgr24Generic = ConvertRows<r::Bgr32ToBgr24Row_Generic>;
constexpr Nv12Conversion kNv12ToBgr24Generic = ConvertNv12Rows<r::Nv12ToBgr24Row_Generic>;

constexpr auto kYuy2Sse2 = Yuy2ToBgr24<r::Yuy2ToBgr24Row_SSE2, r::kBlock_SSE2>;
constexpr auto kYuy2Ssse3 = Yuy2ToBgr24<r::Yuy2ToBgr24Row_SSSE3, r::kBlock_SSSE3>;
constexpr auto kYuy2Avx = Yuy2ToBgr24<r::Yuy2ToBgr24Row_AVX, r::kBlock_AVX>;
constexpr auto kYuy2Avx2 = Yuy2ToBgr24<r::Yuy2ToBgr24Row_AVX2, r::kBlock_AVX2>;
constexpr auto kBgr24Sse2 = Bgr24ToYuy2<r::Bgr24ToYuy2Row_SSE2, r::kBlock_SSE2>;
constexpr auto kBgr24Avx = Bgr24ToYuy2<r::Bgr24ToYuy2Row_AVX, r::kBlock_AVX>;
constexpr auto kNv12Ssse3 = Nv12ToBgr24<r::Nv12ToBgr24Row_SSSE3, r::kBlock_SSSE3>;
constexpr auto kNv12Avx = Nv12ToBgr24<r::Nv12ToBgr24Row_AVX, r::kBlock_AVX>;
constexpr auto kNv12Avx2 = Nv12ToBgr24<r::Nv12ToBgr24Row_AVX2, r::kBlock_AVX2>;
constexpr auto kBgr32Ssse3 = Bgr32ToBgr24<r::Bgr32ToBgr24Row_SSSE3, r::kBlock_SSSE3>;
constexpr auto kBgr32Avx2 = Bgr32ToBgr24<r::Bgr32ToBgr24Row_AVX2, r::kBlock_AVX2>;

KernelStatus FirstCallYuy2ToBgr24(const uint8_t*, int32_t, uint8_t*, int32_t, ImageSize);
KernelStatus FirstCallBgr24ToYuy2(const uint8_t*, int32_t, uint8_t*, int32_t, ImageSize);
KernelStatus FirstCallNv12ToBgr24(const uint8_t*, int32_t, const uint8_t*, int32_t, uint8_t*,
                                  int32_t, ImageSize);
KernelStatus FirstCallBgr32ToBgr24(const uint8_t*, int32_t, uint8_t*, int32_t, ImageSize);

// Entry 0 is the first-call entry, entry L + 1 the variant for level L.
constexpr std::array<SingleSourceConversion, 9> kYuy2ToBgr24Table = {
    FirstCallYuy2ToBgr24, kYuy2ToBgr24Generic, kYuy2Sse2, kYuy2Ssse3, kYuy2Ssse3,
    kYuy2Avx,             kYuy2Avx2,           kYuy2Avx2, kYuy2Avx2};
constexpr std::array<SingleSourceConversion, 9> kBgr24ToYuy2Table = {
    FirstCallBgr24ToYuy2, kBgr24ToYuy2Generic, kBgr24Sse2, kBgr24Sse2, kBgr24Sse2,
    kBgr24Avx,            kBgr24Avx,           kBgr24Avx,  kBgr24Avx};
constexpr std::array<Nv12Conversion, 9> kNv12ToBgr24Table = {
    FirstCallNv12ToBgr24, kNv12ToBgr24Generic, kNv12ToBgr24Generic, kNv12Ssse3, kNv12Ssse3,
    kNv12Avx,             kNv12Avx2,           kNv12Avx2,           kNv12Avx2};
constexpr std::array<SingleSourceConversion, 9> kBgr32ToBgr24Table = {
    FirstCallBgr32ToBgr24, kBgr32ToBgr24Generic, kBgr32ToBgr24Generic, kBgr32Ssse3, kBgr32Ssse3,
    kBgr32Ssse3,           kBgr32Avx2,           kBgr32Avx2,           kBgr32Avx2};

// The first call is served by the chosen variant, with the caller's arguments as given.
KernelStatus FirstCallYuy2ToBgr24(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds,
                                  ImageSize size) {
  InitKernels();
  return kYuy2ToBgr24Table[Level() + 1](s, ss, d, ds, size);
}

KernelStatus FirstCallBgr24ToYuy2(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds,
                                  ImageSize size) {
  InitKernels();
  return kBgr24ToYuy2Table[Level() + 1](s, ss, d, ds, size);
}

KernelStatus FirstCallNv12ToBgr24(const uint8_t* y, int32_t ys, const uint8_t* c, int32_t cs,
                                  uint8_t* d, int32_t ds, ImageSize size) {
  InitKernels();
  return kNv12ToBgr24Table[Level() + 1](y, ys, c, cs, d, ds, size);
}

KernelStatus FirstCallBgr32ToBgr24(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds,
                                   ImageSize size) {
  InitKernels();
  return kBgr32ToBgr24Table[Level() + 1](s, ss, d, ds, size);
}

}  // namespace

KernelStatus ConvertYuy2ToBgr24(const uint8_t* src, int32_t srcStep, uint8_t* dst,
                                int32_t dstStep, ImageSize size) {
  return kYuy2ToBgr24Table[Level() + 1](src, srcStep, dst, dstStep, size);
}

KernelStatus ConvertBgr24ToYuy2(const uint8_t* src, int32_t srcStep, uint8_t* dst,
                                int32_t dstStep, ImageSize size) {
  return kBgr24ToYuy2Table[Level() + 1](src, srcStep, dst, dstStep, size);
}

KernelStatus ConvertNv12ToBgr24(const uint8_t* luma, int32_t lumaStep, const uint8_t* chroma,
                                int32_t chromaStep, uint8_t* dst, int32_t dstStep,
                                ImageSize size) {
  return kNv12ToBgr24Table[Level() + 1](luma, lumaStep, chroma, chromaStep, dst, dstStep, size);
}

KernelStatus ConvertBgr32ToBgr24(const uint8_t* src, int32_t srcStep, uint8_t* dst,
                                 int32_t dstStep, ImageSize size) {
  return kBgr32ToBgr24Table[Level() + 1](src, srcStep, dst, dstStep, size);
}

namespace levels {

Conversions ConversionsAtLevel(CpuLevel level) {
  const size_t entry = static_cast<size_t>(level) + 1;
  return {kYuy2ToBgr24Table[entry], kBgr24ToYuy2Table[entry], kNv12ToBgr24Table[entry],
          kBgr32ToBgr24Table[entry]};
}

CpuLevel MachineCpuLevel() { return SelectCpuLevel(DetectCpuFeatures()); }

}  // namespace levels
}  // namespace pixora::kernels
