#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_dispatch.h"
#include "pixel_types.h"

// Not part of the kernel interface: lets tests and benchmarks run the variant of a
// chosen level, whatever level this processor would be given.
namespace pixora::kernels::levels {

using SingleSourceConversion = KernelStatus (*)(const uint8_t* src, int32_t srcStep,
                                                uint8_t* dst, int32_t dstStep, ImageSize size);
using Nv12Conversion = KernelStatus (*)(const uint8_t* luma, int32_t lumaStep,
                                        const uint8_t* chroma, int32_t chromaStep, uint8_t* dst,
                                        int32_t dstStep, ImageSize size);

struct Conversions {
  SingleSourceConversion yuy2ToBgr24;
  SingleSourceConversion bgr24ToYuy2;
  Nv12Conversion nv12ToBgr24;
  SingleSourceConversion bgr32ToBgr24;
};

// level is 0..kMaxCpuLevel; only levels up to MachineCpuLevel() can run here.
Conversions ConversionsAtLevel(CpuLevel level);

using Transpose = void (*)(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst,
                           ptrdiff_t dstStride, int width, int height);

// The 24-bit transpose of a level (byte shuffles from level 2, where SSSE3 is present).
Transpose Transpose24AtLevel(CpuLevel level);

CpuLevel MachineCpuLevel();

}  // namespace pixora::kernels::levels
