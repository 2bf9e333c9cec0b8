#include "transpose.h"

#include <emmintrin.h>
#include <tmmintrin.h>

#include <array>
#include <cstring>

#include "cpu_dispatch.h"
#include "kernel_levels.h"

namespace pixora::kernels::transpose {
namespace {

__m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Column by column; only for the edges that no whole tile covers.
template <int Size>
void TransposeEdge(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                   int width, int height) {
  for (int j = 0; j < height; ++j) {
    const uint8_t* s = src + j * srcStride;
    uint8_t* d = dst + j * Size;
    for (int i = 0; i < width; ++i) std::memcpy(d + i * dstStride, s + i * Size, Size);
  }
}

// Whole tiles of TileW source columns by TileH source rows. Tiles go down bands about 64
// source bytes wide, so each band writes its destination rows from end to end while the
// band's source lines stay cached; the edges no tile covers go element by element. Slack
// keeps whole tiles one element short of the right and bottom edges, for tiles that
// touch one element more than they own.
template <int Size, int TileW, int TileH, int Slack, auto Tile>
void TransposeTiled(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                    int width, int height) {
  constexpr int kBlockCols = (64 / Size + TileW - 1) / TileW * TileW;
  const int tiledWidth = width < TileW + Slack ? 0 : (width - Slack) / TileW * TileW;
  const int tiledHeight = height < TileH + Slack ? 0 : (height - Slack) / TileH * TileH;
  for (int ib = 0; ib < tiledWidth; ib += kBlockCols) {
    const int iEnd = ib + kBlockCols < tiledWidth ? ib + kBlockCols : tiledWidth;
    for (int j = 0; j < tiledHeight; j += TileH) {
      for (int i = ib; i < iEnd; i += TileW) {
        Tile(src + j * srcStride + i * Size, srcStride, dst + i * dstStride + j * Size,
             dstStride);
      }
    }
  }
  TransposeEdge<Size>(src + tiledWidth * Size, srcStride, dst + tiledWidth * dstStride,
                      dstStride, width - tiledWidth, tiledHeight);
  TransposeEdge<Size>(src + tiledHeight * srcStride, srcStride, dst + tiledHeight * Size,
                      dstStride, width, height - tiledHeight);
}

// 16 x 16 bytes in four rounds of interleaving.
void Tile8(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride) {
  __m128i a[16];
  __m128i b[16];
  for (int k = 0; k < 16; ++k) a[k] = Load(src + k * srcStride);
  for (int k = 0; k < 8; ++k) {
    b[2 * k] = _mm_unpacklo_epi8(a[2 * k], a[2 * k + 1]);
    b[2 * k + 1] = _mm_unpackhi_epi8(a[2 * k], a[2 * k + 1]);
  }
  // b[2k]: columns 0..7 of rows 2k, 2k+1; b[2k+1]: columns 8..15.
  for (int m = 0; m < 4; ++m) {
    a[4 * m + 0] = _mm_unpacklo_epi16(b[4 * m], b[4 * m + 2]);
    a[4 * m + 1] = _mm_unpackhi_epi16(b[4 * m], b[4 * m + 2]);
    a[4 * m + 2] = _mm_unpacklo_epi16(b[4 * m + 1], b[4 * m + 3]);
    a[4 * m + 3] = _mm_unpackhi_epi16(b[4 * m + 1], b[4 * m + 3]);
  }
  // a[4m + g]: columns 4g..4g+3 of rows 4m..4m+3.
  for (int p = 0; p < 2; ++p) {
    for (int g = 0; g < 4; ++g) {
      b[8 * p + 2 * g] = _mm_unpacklo_epi32(a[8 * p + g], a[8 * p + 4 + g]);
      b[8 * p + 2 * g + 1] = _mm_unpackhi_epi32(a[8 * p + g], a[8 * p + 4 + g]);
    }
  }
  // b[8p + q]: columns 2q, 2q+1 of rows 8p..8p+7.
  for (int q = 0; q < 8; ++q) {
    Store(dst + (2 * q) * dstStride, _mm_unpacklo_epi64(b[q], b[8 + q]));
    Store(dst + (2 * q + 1) * dstStride, _mm_unpackhi_epi64(b[q], b[8 + q]));
  }
}

// 8 x 8 two-byte elements.
void Tile16(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride) {
  __m128i a[8];
  __m128i b[8];
  for (int k = 0; k < 8; ++k) a[k] = Load(src + k * srcStride);
  for (int k = 0; k < 4; ++k) {
    b[2 * k] = _mm_unpacklo_epi16(a[2 * k], a[2 * k + 1]);
    b[2 * k + 1] = _mm_unpackhi_epi16(a[2 * k], a[2 * k + 1]);
  }
  for (int m = 0; m < 2; ++m) {
    a[4 * m + 0] = _mm_unpacklo_epi32(b[4 * m], b[4 * m + 2]);
    a[4 * m + 1] = _mm_unpackhi_epi32(b[4 * m], b[4 * m + 2]);
    a[4 * m + 2] = _mm_unpacklo_epi32(b[4 * m + 1], b[4 * m + 3]);
    a[4 * m + 3] = _mm_unpackhi_epi32(b[4 * m + 1], b[4 * m + 3]);
  }
  // a[4m + q]: columns 2q, 2q+1 of rows 4m..4m+3.
  for (int q = 0; q < 4; ++q) {
    Store(dst + (2 * q) * dstStride, _mm_unpacklo_epi64(a[q], a[4 + q]));
    Store(dst + (2 * q + 1) * dstStride, _mm_unpackhi_epi64(a[q], a[4 + q]));
  }
}

// Rows r[0..3] of four 32-bit elements become columns 0..3.
inline void Transpose4x4(__m128i r[4]) {
  const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]);
  const __m128i t1 = _mm_unpackhi_epi32(r[0], r[1]);
  const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]);
  const __m128i t3 = _mm_unpackhi_epi32(r[2], r[3]);
  r[0] = _mm_unpacklo_epi64(t0, t2);
  r[1] = _mm_unpackhi_epi64(t0, t2);
  r[2] = _mm_unpacklo_epi64(t1, t3);
  r[3] = _mm_unpackhi_epi64(t1, t3);
}

// 4 columns by 16 rows of four-byte elements: four 4 x 4 turns, so each destination
// row receives one whole 64-byte run.
void Tile32(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride) {
  for (int r = 0; r < 16; r += 4) {
    __m128i v[4];
    for (int k = 0; k < 4; ++k) v[k] = Load(src + (r + k) * srcStride);
    Transpose4x4(v);
    for (int k = 0; k < 4; ++k) Store(dst + k * dstStride + r * 4, v[k]);
  }
}

// Three-byte elements moved as four-byte words: each load takes one byte of the next
// element and each store spills one byte into the next destination element, which a
// later store overwrites. The tiled driver keeps one element of slack at both edges.
void Tile24(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride) {
  constexpr int kCols = 8;
  constexpr int kRows = 16;
  for (int i = 0; i < kCols; ++i) {
    uint8_t* d = dst + i * dstStride;
    const uint8_t* s = src + i * 3;
    for (int j = 0; j < kRows; ++j) {
      uint32_t word;
      std::memcpy(&word, s + j * srcStride, 4);
      std::memcpy(d + j * 3, &word, 4);
    }
  }
}

// The same with byte shuffles: 4 columns by 16 rows, widened to 32-bit elements for one
// 4 x 4 turn and packed back. Loads read 16 bytes from 12 owned and stores write 16 bytes
// from 12 owned, so two elements of slack at both edges.
__attribute__((target("ssse3"))) void Tile24Shuffled(const uint8_t* src, ptrdiff_t srcStride,
                                                     uint8_t* dst, ptrdiff_t dstStride) {
  const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i narrow = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  for (int r = 0; r < 16; r += 4) {
    __m128i v[4];
    for (int k = 0; k < 4; ++k) v[k] = _mm_shuffle_epi8(Load(src + (r + k) * srcStride), widen);
    Transpose4x4(v);
    for (int k = 0; k < 4; ++k) Store(dst + k * dstStride + r * 3, _mm_shuffle_epi8(v[k], narrow));
  }
}

void Transpose24Plain(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                      int width, int height) {
  TransposeTiled<3, 8, 16, 1, Tile24>(src, srcStride, dst, dstStride, width, height);
}

void Transpose24Shuffled(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst,
                         ptrdiff_t dstStride, int width, int height) {
  TransposeTiled<3, 4, 16, 2, Tile24Shuffled>(src, srcStride, dst, dstStride, width, height);
}

void FirstCallTranspose24(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst,
                          ptrdiff_t dstStride, int width, int height);

// Entry 0 is the first-call entry, entry L + 1 the variant for level L, as for the
// conversions; levels 2 and up have SSSE3.
constexpr std::array<levels::Transpose, 9> kTranspose24Table = {
    FirstCallTranspose24, Transpose24Plain,    Transpose24Plain,
    Transpose24Shuffled,  Transpose24Shuffled, Transpose24Shuffled,
    Transpose24Shuffled,  Transpose24Shuffled, Transpose24Shuffled};

void FirstCallTranspose24(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst,
                          ptrdiff_t dstStride, int width, int height) {
  InitKernels();
  kTranspose24Table[ChosenCpuLevel() + 1](src, srcStride, dst, dstStride, width, height);
}

}  // namespace

void Transpose8(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                int width, int height) {
  TransposeTiled<1, 16, 16, 0, Tile8>(src, srcStride, dst, dstStride, width, height);
}

void Transpose16(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                 int width, int height) {
  TransposeTiled<2, 8, 8, 0, Tile16>(src, srcStride, dst, dstStride, width, height);
}

void Transpose24(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                 int width, int height) {
  kTranspose24Table[ChosenCpuLevel() + 1](src, srcStride, dst, dstStride, width, height);
}

void Transpose32(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                 int width, int height) {
  TransposeTiled<4, 4, 16, 0, Tile32>(src, srcStride, dst, dstStride, width, height);
}

}  // namespace pixora::kernels::transpose

namespace pixora::kernels::levels {

Transpose Transpose24AtLevel(CpuLevel level) {
  return transpose::kTranspose24Table[static_cast<size_t>(level) + 1];
}

}  // namespace pixora::kernels::levels
