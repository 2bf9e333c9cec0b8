#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

// Anonymous namespace throughout: each includer is built with its own -m flag and must
// keep its own copy of every function here.
namespace pixora::kernels::rows {
namespace {

// The kernels are written once over a register type V. A 256-bit V carries two
// consecutive 16-pixel blocks, one per 128-bit lane, so every shuffle stays in its lane;
// laneStep is the byte distance between the two blocks of a stream.
template <class V>
constexpr int kLanes = sizeof(V) / 16;

template <class V>
V Widen(__m128i v);
template <class V>
V Load(const uint8_t* p, ptrdiff_t laneStep);

template <>
inline __m128i Widen<__m128i>(__m128i v) { return v; }
template <>
inline __m128i Load<__m128i>(const uint8_t* p, ptrdiff_t) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(__m128i v, uint8_t* p, ptrdiff_t) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline __m128i Or(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
inline __m128i Add16(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
inline __m128i SubSatU16(__m128i a, __m128i b) { return _mm_subs_epu16(a, b); }
inline __m128i MulHiU16(__m128i a, __m128i b) { return _mm_mulhi_epu16(a, b); }
inline __m128i PackU8(__m128i a, __m128i b) { return _mm_packus_epi16(a, b); }
inline __m128i UnpackLo8(__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); }
inline __m128i UnpackHi8(__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); }
template <int n>
__m128i Shl16(__m128i v) { return _mm_slli_epi16(v, n); }
template <int n>
__m128i Shr16(__m128i v) { return _mm_srli_epi16(v, n); }
#ifdef __SSSE3__
inline __m128i Shuffle8(__m128i v, __m128i m) { return _mm_shuffle_epi8(v, m); }
#endif

#ifdef __AVX2__
template <>
inline __m256i Widen<__m256i>(__m128i v) { return _mm256_broadcastsi128_si256(v); }
template <>
inline __m256i Load<__m256i>(const uint8_t* p, ptrdiff_t laneStep) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(Load<__m128i>(p, 0)),
                                 Load<__m128i>(p + laneStep, 0), 1);
}
inline void Store(__m256i v, uint8_t* p, ptrdiff_t laneStep) {
  Store(_mm256_castsi256_si128(v), p, 0);
  Store(_mm256_extracti128_si256(v, 1), p + laneStep, 0);
}
inline __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
inline __m256i Add16(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
inline __m256i SubSatU16(__m256i a, __m256i b) { return _mm256_subs_epu16(a, b); }
inline __m256i MulHiU16(__m256i a, __m256i b) { return _mm256_mulhi_epu16(a, b); }
inline __m256i PackU8(__m256i a, __m256i b) { return _mm256_packus_epi16(a, b); }
inline __m256i UnpackLo8(__m256i a, __m256i b) { return _mm256_unpacklo_epi8(a, b); }
inline __m256i UnpackHi8(__m256i a, __m256i b) { return _mm256_unpackhi_epi8(a, b); }
template <int n>
__m256i Shl16(__m256i v) { return _mm256_slli_epi16(v, n); }
template <int n>
__m256i Shr16(__m256i v) { return _mm256_srli_epi16(v, n); }
inline __m256i Shuffle8(__m256i v, __m256i m) { return _mm256_shuffle_epi8(v, m); }
#endif

template <class V>
V Splat16(int v) { return Widen<V>(_mm_set1_epi16(static_cast<int16_t>(v))); }

struct ByteMask {
  int8_t at[16];
};

template <class V>
V MaskOf(const ByteMask& m) {
  return Widen<V>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m.at)));
}

constexpr int8_t kNone = -128;  // pshufb writes zero

// Each 16-bit lane gets sample first + step * (lane / 2) in its high byte: the chroma of a
// pixel pair, times 256, for both pixels.
constexpr ByteMask PairedHighBytes(int first, int step) {
  ByteMask m{};
  for (int i = 0; i < 8; ++i) {
    m.at[2 * i] = kNone;
    m.at[2 * i + 1] = static_cast<int8_t>(first + step * (i / 2));
  }
  return m;
}

// Output bytes [first, first + 16) of 3-byte pixels, taking those that lie in register
// `source`. Sources 0, 1 hold B of 8 pixels then G of the same 8 (pixels 0-7, 8-15);
// source 2 holds R of all 16.
constexpr ByteMask PlanarToBgr24(int first, int source) {
  ByteMask m{};
  for (int i = 0; i < 16; ++i) {
    const int pixel = (first + i) / 3;
    const int channel = (first + i) % 3;
    const int from = channel == 2 ? 2 : pixel / 8;
    const int index = channel == 2 ? pixel : pixel % 8 + 8 * channel;
    m.at[i] = from == source ? static_cast<int8_t>(index) : kNone;
  }
  return m;
}

// Output bytes [first, first + 16) of 3-byte pixels that come from 4-byte pixel register
// `source` (pixels 4 * source to 4 * source + 3).
constexpr ByteMask Bgr32ToBgr24(int first, int source) {
  ByteMask m{};
  for (int i = 0; i < 16; ++i) {
    const int pixel = (first + i) / 3;
    m.at[i] = pixel / 4 == source ? static_cast<int8_t>(pixel % 4 * 4 + (first + i) % 3) : kNone;
  }
  return m;
}

// YUV to BGR in 16-bit lanes. Inputs are the samples times 256, so pmulhuw by a
// coefficient with 8+6 fractional bits leaves results with 6. The unsigned saturating
// subtract clamps below 0, the final pack above 255; no sum exceeds 52000.
// The coefficients are the reference ones over 4, rounded; the biases fold in -16, -128
// and rounding, and were chosen over all inputs for the fewest off-by-one bytes.
// The helpers below are forced inline: at -O2 GCC keeps them out of line and passes the
// registers through memory.
template <class V>
struct Bgr16 {
  V b, g, r;
};

template <class V>
[[gnu::always_inline]] inline Bgr16<V> YuvToBgr16(V y, V u, V v) {
  const V luma = MulHiU16(y, Splat16<V>(19071));
  const V b = SubSatU16(Add16(luma, MulHiU16(u, Splat16<V>(33047))), Splat16<V>(17683));
  const V g = SubSatU16(Add16(luma, Splat16<V>(8711)),
                        Add16(MulHiU16(u, Splat16<V>(6423)), MulHiU16(v, Splat16<V>(13320))));
  const V r = SubSatU16(Add16(luma, MulHiU16(v, Splat16<V>(26149))), Splat16<V>(14234));
  return {Shr16<6>(b), Shr16<6>(g), Shr16<6>(r)};
}

// Perfect shuffle of 48 bytes: y[2k] = x[k], y[2k+1] = x[24+k]. It moves byte i to
// 2i mod 47, so four of them move 3j+c to 16c+j: 24-bit pixels to planes.
[[gnu::always_inline]] inline void Unshuffle48(__m128i& a, __m128i& b, __m128i& c) {
  const __m128i na = _mm_unpacklo_epi8(a, _mm_srli_si128(b, 8));
  const __m128i nb = _mm_unpackhi_epi8(a, _mm_slli_si128(c, 8));
  const __m128i nc = _mm_unpacklo_epi8(b, _mm_srli_si128(c, 8));
  a = na;
  b = nb;
  c = nc;
}

// The inverse: even bytes first, then odd ones.
[[gnu::always_inline]] inline void Shuffle48(__m128i& a, __m128i& b, __m128i& c) {
  const __m128i even = _mm_set1_epi16(0x00FF);
  const __m128i na = _mm_packus_epi16(_mm_and_si128(a, even), _mm_and_si128(b, even));
  const __m128i nb = _mm_packus_epi16(_mm_and_si128(c, even), _mm_srli_epi16(a, 8));
  const __m128i nc = _mm_packus_epi16(_mm_srli_epi16(b, 8), _mm_srli_epi16(c, 8));
  a = na;
  b = nb;
  c = nc;
}

// lo, hi: pixels 0-7 and 8-15 of a block as 16-bit B, G, R.
template <class V>
[[gnu::always_inline]] inline void StoreBgr24(const Bgr16<V>& lo, const Bgr16<V>& hi,
                                              uint8_t* dst) {
  constexpr ptrdiff_t kStep = 48;
#ifdef __SSSE3__
  static constexpr ByteMask kMasks[3][3] = {
      {PlanarToBgr24(0, 0), PlanarToBgr24(0, 1), PlanarToBgr24(0, 2)},
      {PlanarToBgr24(16, 0), PlanarToBgr24(16, 1), PlanarToBgr24(16, 2)},
      {PlanarToBgr24(32, 0), PlanarToBgr24(32, 1), PlanarToBgr24(32, 2)}};
  const V bgLo = PackU8(lo.b, lo.g);
  const V bgHi = PackU8(hi.b, hi.g);
  const V r = PackU8(lo.r, hi.r);
  Store(Or(Shuffle8(bgLo, MaskOf<V>(kMasks[0][0])), Shuffle8(r, MaskOf<V>(kMasks[0][2]))),
        dst, kStep);
  Store(Or(Or(Shuffle8(bgLo, MaskOf<V>(kMasks[1][0])), Shuffle8(bgHi, MaskOf<V>(kMasks[1][1]))),
           Shuffle8(r, MaskOf<V>(kMasks[1][2]))),
        dst + 16, kStep);
  Store(Or(Shuffle8(bgHi, MaskOf<V>(kMasks[2][1])), Shuffle8(r, MaskOf<V>(kMasks[2][2]))),
        dst + 32, kStep);
#else
  __m128i a = PackU8(lo.b, hi.b);
  __m128i b = PackU8(lo.g, hi.g);
  __m128i c = PackU8(lo.r, hi.r);
  for (int i = 0; i < 4; ++i) Shuffle48(a, b, c);
  Store(a, dst, kStep);
  Store(b, dst + 16, kStep);
  Store(c, dst + 32, kStep);
#endif
}

// Eight pixels of YUY2 (Y0 U Y1 V per pair) to 16-bit B, G, R.
template <class V>
[[gnu::always_inline]] inline Bgr16<V> Yuy2ToBgr16(V s) {
#ifdef __SSSE3__
  static constexpr ByteMask kU = PairedHighBytes(1, 4);
  static constexpr ByteMask kV = PairedHighBytes(3, 4);
  const V u = Shuffle8(s, MaskOf<V>(kU));
  const V v = Shuffle8(s, MaskOf<V>(kV));
#else
  const __m128i chroma = _mm_and_si128(s, _mm_set1_epi16(static_cast<int16_t>(0xFF00)));
  const __m128i u = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xA0), 0xA0);
  const __m128i v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xF5), 0xF5);
#endif
  return YuvToBgr16(Shl16<8>(s), u, v);
}

template <class V>
void ConvertYuy2Row(const uint8_t* src, uint8_t* dst, int width) {
  constexpr ptrdiff_t kStep = 32;
  for (int x = 0; x < width; x += 16 * kLanes<V>) {
    const Bgr16<V> lo = Yuy2ToBgr16(Load<V>(src, kStep));
    const Bgr16<V> hi = Yuy2ToBgr16(Load<V>(src + 16, kStep));
    StoreBgr24(lo, hi, dst);
    src += kStep * kLanes<V>;
    dst += 48 * kLanes<V>;
  }
}

#ifdef __SSSE3__
template <class V>
void ConvertNv12Row(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width) {
  static constexpr ByteMask kMasks[2][2] = {{PairedHighBytes(0, 2), PairedHighBytes(1, 2)},
                                            {PairedHighBytes(8, 2), PairedHighBytes(9, 2)}};
  constexpr ptrdiff_t kStep = 16;
  const V zero = Widen<V>(_mm_setzero_si128());
  for (int x = 0; x < width; x += 16 * kLanes<V>) {
    const V y = Load<V>(luma, kStep);
    const V c = Load<V>(chroma, kStep);
    const Bgr16<V> lo = YuvToBgr16(UnpackLo8(zero, y), Shuffle8(c, MaskOf<V>(kMasks[0][0])),
                                   Shuffle8(c, MaskOf<V>(kMasks[0][1])));
    const Bgr16<V> hi = YuvToBgr16(UnpackHi8(zero, y), Shuffle8(c, MaskOf<V>(kMasks[1][0])),
                                   Shuffle8(c, MaskOf<V>(kMasks[1][1])));
    StoreBgr24(lo, hi, dst);
    luma += kStep * kLanes<V>;
    chroma += kStep * kLanes<V>;
    dst += 48 * kLanes<V>;
  }
}

template <class V>
void ConvertBgr32Row(const uint8_t* src, uint8_t* dst, int width) {
  static constexpr ByteMask kMasks[6] = {Bgr32ToBgr24(0, 0),  Bgr32ToBgr24(0, 1),
                                         Bgr32ToBgr24(16, 1), Bgr32ToBgr24(16, 2),
                                         Bgr32ToBgr24(32, 2), Bgr32ToBgr24(32, 3)};
  constexpr ptrdiff_t kSrcStep = 64;
  constexpr ptrdiff_t kDstStep = 48;
  for (int x = 0; x < width; x += 16 * kLanes<V>) {
    const V p0 = Load<V>(src, kSrcStep);
    const V p1 = Load<V>(src + 16, kSrcStep);
    const V p2 = Load<V>(src + 32, kSrcStep);
    const V p3 = Load<V>(src + 48, kSrcStep);
    Store(Or(Shuffle8(p0, MaskOf<V>(kMasks[0])), Shuffle8(p1, MaskOf<V>(kMasks[1]))), dst,
          kDstStep);
    Store(Or(Shuffle8(p1, MaskOf<V>(kMasks[2])), Shuffle8(p2, MaskOf<V>(kMasks[3]))), dst + 16,
          kDstStep);
    Store(Or(Shuffle8(p2, MaskOf<V>(kMasks[4])), Shuffle8(p3, MaskOf<V>(kMasks[5]))), dst + 32,
          kDstStep);
    src += kSrcStep * kLanes<V>;
    dst += kDstStep * kLanes<V>;
  }
}
#endif

// Channel `channel` of 16 3-byte pixels, taking the bytes that lie in register `source`.
constexpr ByteMask Bgr24ToPlane(int channel, int source) {
  ByteMask m{};
  for (int i = 0; i < 16; ++i) {
    const int n = 3 * i + channel;
    m.at[i] = n / 16 == source ? static_cast<int8_t>(n % 16) : kNone;
  }
  return m;
}

#ifdef __SSSE3__
[[gnu::always_inline]] inline __m128i Gather3(__m128i a, __m128i b, __m128i c,
                                              const ByteMask (&masks)[3]) {
  return Or(Or(Shuffle8(a, MaskOf<__m128i>(masks[0])), Shuffle8(b, MaskOf<__m128i>(masks[1]))),
            Shuffle8(c, MaskOf<__m128i>(masks[2])));
}
#endif

// 48 bytes of 3-byte pixels, in place, to B, G and R planes.
[[gnu::always_inline]] inline void ToPlanes(__m128i& a, __m128i& b, __m128i& c) {
#ifdef __SSSE3__
  static constexpr ByteMask kMasks[3][3] = {
      {Bgr24ToPlane(0, 0), Bgr24ToPlane(0, 1), Bgr24ToPlane(0, 2)},
      {Bgr24ToPlane(1, 0), Bgr24ToPlane(1, 1), Bgr24ToPlane(1, 2)},
      {Bgr24ToPlane(2, 0), Bgr24ToPlane(2, 1), Bgr24ToPlane(2, 2)}};
  const __m128i pb = Gather3(a, b, c, kMasks[0]);
  const __m128i pg = Gather3(a, b, c, kMasks[1]);
  c = Gather3(a, b, c, kMasks[2]);
  a = pb;
  b = pg;
#else
  for (int i = 0; i < 4; ++i) Unshuffle48(a, b, c);
#endif
}

// Y with 8 fractional bits from the unsigned high halves of 256 * sample * coefficient;
// the three truncations lose under 3/256, and the bias 4225 (16.5 * 256 + 1) centres them.
[[gnu::always_inline]] inline __m128i LumaOf(__m128i r, __m128i g, __m128i b) {
  const __m128i sum = _mm_add_epi16(
      _mm_add_epi16(_mm_mulhi_epu16(r, _mm_set1_epi16(16843)),
                    _mm_mulhi_epu16(g, _mm_set1_epi16(static_cast<int16_t>(33030)))),
      _mm_add_epi16(_mm_mulhi_epu16(b, _mm_set1_epi16(6423)), _mm_set1_epi16(4225)));
  return _mm_srli_epi16(sum, 8);
}

// Chroma of a pixel pair with 8 fractional bits, from the pair sums times 128, as the
// luma above: 128.5 * 256 less one for the truncations.
[[gnu::always_inline]] inline __m128i ChromaOf(__m128i plus, __m128i minus1, __m128i minus2,
                                               int16_t k, int16_t k1, int16_t k2) {
  const __m128i sum = _mm_add_epi16(_mm_mulhi_epu16(plus, _mm_set1_epi16(k)),
                                    _mm_set1_epi16(static_cast<int16_t>(32895)));
  return _mm_sub_epi16(_mm_sub_epi16(sum, _mm_mulhi_epu16(minus1, _mm_set1_epi16(k1))),
                       _mm_mulhi_epu16(minus2, _mm_set1_epi16(k2)));
}

inline void ConvertBgr24Row(const uint8_t* src, uint8_t* dst, int width) {
  const __m128i highByte = _mm_set1_epi16(static_cast<int16_t>(0xFF00));
  for (int x = 0; x < width; x += 16, src += 48, dst += 32) {
    __m128i b = Load<__m128i>(src, 0);
    __m128i g = Load<__m128i>(src + 16, 0);
    __m128i r = Load<__m128i>(src + 32, 0);
    ToPlanes(b, g, r);
    // Lane k of a plane holds pixel 2k in its low byte and 2k+1 in its high byte.
    const __m128i b0 = _mm_slli_epi16(b, 8), b1 = _mm_and_si128(b, highByte);
    const __m128i g0 = _mm_slli_epi16(g, 8), g1 = _mm_and_si128(g, highByte);
    const __m128i r0 = _mm_slli_epi16(r, 8), r1 = _mm_and_si128(r, highByte);
    // Both addends are multiples of 256, so the rounding average is exact.
    const __m128i bs = _mm_avg_epu16(b0, b1);
    const __m128i gs = _mm_avg_epu16(g0, g1);
    const __m128i rs = _mm_avg_epu16(r0, r1);
    const __m128i u = ChromaOf(bs, gs, rs, 28770, 19071, 9699);
    const __m128i v = ChromaOf(rs, gs, bs, 28770, 24117, 4653);
    const __m128i first = _mm_or_si128(LumaOf(r0, g0, b0), _mm_and_si128(u, highByte));
    const __m128i second = _mm_or_si128(LumaOf(r1, g1, b1), _mm_and_si128(v, highByte));
    Store(_mm_unpacklo_epi16(first, second), dst, 0);
    Store(_mm_unpackhi_epi16(first, second), dst + 16, 0);
  }
}

}  // namespace
}  // namespace pixora::kernels::rows
