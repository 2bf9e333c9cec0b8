#pragma once

#include <cstdint>

#include "pixel_types.h"

// Colour conversions over caller-owned buffers. Re-entrant; each call runs the
// variant chosen once per process for this processor.
namespace pixora::kernels {

KernelStatus ConvertYuy2ToBgr24(const uint8_t* src, int32_t srcStep, uint8_t* dst,
                                int32_t dstStep, ImageSize size);

KernelStatus ConvertBgr24ToYuy2(const uint8_t* src, int32_t srcStep, uint8_t* dst,
                                int32_t dstStep, ImageSize size);

KernelStatus ConvertNv12ToBgr24(const uint8_t* luma, int32_t lumaStep, const uint8_t* chroma,
                                int32_t chromaStep, uint8_t* dst, int32_t dstStep,
                                ImageSize size);

KernelStatus ConvertBgr32ToBgr24(const uint8_t* src, int32_t srcStep, uint8_t* dst,
                                 int32_t dstStep, ImageSize size);

}  // namespace pixora::kernels
