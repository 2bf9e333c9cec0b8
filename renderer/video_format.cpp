#include "video_format.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <cstddef>
#include <cstring>
#include <limits>

#include "pixel_types.h"

namespace pixora {
namespace {

using kernels::PixelType;

// Where the bitmap header starts in a format block of this type; 0 for other types.
size_t BitmapHeaderOffset(REFGUID formatType) {
  if (formatType == FORMAT_VideoInfo || formatType == FORMAT_MPEGVideo) return 48;
  if (formatType == FORMAT_VideoInfo2 || formatType == FORMAT_MPEG2Video) return 72;
  return 0;
}

bool HoldsBitmapHeader(const AM_MEDIA_TYPE& type, size_t offset) {
  return offset != 0 && type.pbFormat != nullptr &&
         type.cbFormat >= offset + sizeof(BITMAPINFOHEADER);
}

bool SubtypePixelType(REFGUID subtype, PixelType* pixelType) {
  if (subtype == MEDIASUBTYPE_RGB24) {
    *pixelType = PixelType::RGB24;
  } else if (subtype == MEDIASUBTYPE_RGB32) {
    *pixelType = PixelType::RGB32;
  } else if (subtype == MEDIASUBTYPE_YUY2) {
    *pixelType = PixelType::YUY2;
  } else if (subtype == MEDIASUBTYPE_NV12) {
    *pixelType = PixelType::NV12;
  } else {
    return false;
  }
  return true;
}

int64_t RowStep(PixelType type, int64_t width) {
  switch (type) {
    case PixelType::RGB24: return (width * 3 + 3) & ~int64_t{3};
    case PixelType::RGB32: return width * 4;
    case PixelType::YUY2: return width * 2;
    case PixelType::NV12: return width;
  }
  return 0;
}

}  // namespace

HRESULT CheckVideoMediaType(const AM_MEDIA_TYPE& type) {
  PixelType pixelType;
  const bool videoInfo =
      type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_VideoInfo2;
  if (type.majortype != MEDIATYPE_Video || !videoInfo ||
      !SubtypePixelType(type.subtype, &pixelType) ||
      !HoldsBitmapHeader(type, BitmapHeaderOffset(type.formattype))) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

void CaptureVideoFormat(const AM_MEDIA_TYPE& type, VideoFormat* format) {
  const size_t offset = BitmapHeaderOffset(type.formattype);
  if (HoldsBitmapHeader(type, offset)) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, type.pbFormat + offset, sizeof(header));
    format->width = header.biWidth;
    format->height = header.biHeight;
  }
  PixelType pixelType;
  if (SubtypePixelType(type.subtype, &pixelType)) {
    const int64_t step = RowStep(pixelType, format->width);
    format->pixelType = static_cast<int32_t>(pixelType);
    const bool fits = step >= 1 && step <= std::numeric_limits<int32_t>::max();
    format->stride = fits ? static_cast<int32_t>(step) : 0;
  }
}

int64_t FrameBytesOf(const VideoFormat& format) {
  return kernels::FrameBytes(static_cast<PixelType>(format.pixelType), format.stride,
                             format.height);
}

}  // namespace pixora
