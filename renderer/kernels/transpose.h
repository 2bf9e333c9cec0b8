#pragma once

#include <cstddef>
#include <cstdint>

// Transposes of pictures of 1-, 2-, 3- and 4-byte elements with signed strides:
// dst[i * dstStride + j * size] = src[j * srcStride + i * size], for i < width (source
// elements per row) and j < height (source rows). Negative strides give the mirrored
// transposes that make a quarter turn.
namespace pixora::kernels::transpose {

void Transpose8(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                int width, int height);
void Transpose16(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                 int width, int height);
// Dispatched like the conversions: byte shuffles from level 2 (SSSE3), word moves below.
void Transpose24(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                 int width, int height);
void Transpose32(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                 int width, int height);

}  // namespace pixora::kernels::transpose
