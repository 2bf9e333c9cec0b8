// The video format a connection fixes, as the renderer reads it from the media type.
// Plain functions over caller-owned values.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>

namespace pixora {

struct VideoFormat {
  int32_t pixelType = 0;  // PixelType code
  int32_t width = 0;
  int32_t height = 0;  // signed as in the bitmap header: negative = top-down RGB rows
  int32_t stride = 0;  // bytes per row (NV12: of the luma plane)

  bool operator==(const VideoFormat&) const = default;
};

// S_OK for MEDIATYPE_Video with a VideoInfo or VideoInfo2 format block long enough for
// its bitmap header and subtype RGB24, RGB32, YUY2 or NV12; VFW_E_TYPE_NOT_ACCEPTED else.
HRESULT CheckVideoMediaType(const AM_MEDIA_TYPE& type);

// Takes width and height from the bitmap header and pixel type and stride from the
// subtype; what the type does not describe stays as it was. A row step beyond 32 bits
// leaves a stride of 0, which no sample can fill.
void CaptureVideoFormat(const AM_MEDIA_TYPE& type, VideoFormat* format);

// Bytes a sample must hold to be a whole frame of `format`.
int64_t FrameBytesOf(const VideoFormat& format);

}  // namespace pixora
