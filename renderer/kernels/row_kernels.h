#pragma once

#include <cstdint>

// Row kernels: pointers and a width, nothing else. The generic ones take any width
// and follow the odd-width rules; a vector one takes only whole multiples of its
// block and leaves the rest of the row to the generic one (see convert.cpp).
namespace pixora::kernels::rows {

using Yuy2ToBgr24Row = void (*)(const uint8_t* src, uint8_t* dst, int width);
using Bgr24ToYuy2Row = void (*)(const uint8_t* src, uint8_t* dst, int width);
// One destination row from one luma row and its shared chroma row; width is even.
using Nv12ToBgr24Row = void (*)(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst,
                                int width);
using Bgr32ToBgr24Row = void (*)(const uint8_t* src, uint8_t* dst, int width);

void Yuy2ToBgr24Row_Generic(const uint8_t* src, uint8_t* dst, int width);
void Bgr24ToYuy2Row_Generic(const uint8_t* src, uint8_t* dst, int width);
void Nv12ToBgr24Row_Generic(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width);
void Bgr32ToBgr24Row_Generic(const uint8_t* src, uint8_t* dst, int width);

// Vector variants. kBlock_<Level> is the pixel count each takes at a time.
constexpr int kBlock_SSE2 = 16;
void Yuy2ToBgr24Row_SSE2(const uint8_t* src, uint8_t* dst, int width);
void Bgr24ToYuy2Row_SSE2(const uint8_t* src, uint8_t* dst, int width);

constexpr int kBlock_SSSE3 = 16;
void Yuy2ToBgr24Row_SSSE3(const uint8_t* src, uint8_t* dst, int width);
void Nv12ToBgr24Row_SSSE3(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width);
void Bgr32ToBgr24Row_SSSE3(const uint8_t* src, uint8_t* dst, int width);

constexpr int kBlock_AVX = 16;
void Yuy2ToBgr24Row_AVX(const uint8_t* src, uint8_t* dst, int width);
void Bgr24ToYuy2Row_AVX(const uint8_t* src, uint8_t* dst, int width);
void Nv12ToBgr24Row_AVX(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width);

constexpr int kBlock_AVX2 = 32;
void Yuy2ToBgr24Row_AVX2(const uint8_t* src, uint8_t* dst, int width);
void Nv12ToBgr24Row_AVX2(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width);
void Bgr32ToBgr24Row_AVX2(const uint8_t* src, uint8_t* dst, int width);

}  // namespace pixora::kernels::rows
