// The renderer's interface to the Pixora camera device: the property set, its property ids
// and the frame packet. The camera link sends through it; a device, or whatever takes its
// place, takes it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "pixel_types.h"

namespace pixora {

inline constexpr GUID PROPSETID_PixoraCamera = {
    0xBC919FA0, 0x33B3, 0x40FB, {0xBD, 0xA3, 0x62, 0x1D, 0xEC, 0xF9, 0xEE, 0x33}};

enum PixoraProperty : ULONG {
  PIXORA_PROP_FRAME = 0,
  PIXORA_PROP_OUTPUT_FORMAT = 1,
  PIXORA_PROP_FILL_MODE = 5,
  PIXORA_PROP_MIRROR = 6,
  PIXORA_PROP_FLIP = 7,
};

// Support mask bits of IKsPropertySet::QuerySupported (ks.h values, kept here so that
// including this header does not need the kernel-streaming headers).
inline constexpr DWORD PIXORA_KSPROPERTY_SUPPORT_GET = 1;
inline constexpr DWORD PIXORA_KSPROPERTY_SUPPORT_SET = 2;

// The 16 bytes before a packet's pixels. The format travels as its 32-bit code, so a
// device reads any value a sender put there.
struct FrameHeader {
  kernels::PixelType format;
  int32_t width;
  int32_t height;  // RGB: positive = bottom-up rows; YUY2/NV12 always top-down
  int32_t stride;
};
static_assert(sizeof(FrameHeader) == 16);

struct OutputFormat {
  int32_t width;
  int32_t height;
  int32_t fps;
};
static_assert(sizeof(OutputFormat) == 12);

enum PixoraFillMode : int32_t {
  PIXORA_FILL_ASPECT_FIT = 0,
  PIXORA_FILL_ASPECT_FILL = 1,
  PIXORA_FILL_STRETCH = 2,
};

}  // namespace pixora
