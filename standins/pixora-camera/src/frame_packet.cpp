#include "frame_packet.h"

namespace pixora {
namespace {

using kernels::PixelType;

std::optional<int64_t> MinimumRowBytes(PixelType format, int64_t width) {
  switch (format) {
    case PixelType::RGB24: return 3 * width;
    case PixelType::RGB32: return 4 * width;
    case PixelType::YUY2: return 2 * width;
    case PixelType::NV12: return width;
  }
  return std::nullopt;  // a code no pixel type has
}

}  // namespace

std::optional<uint64_t> AnnouncedPixelBytes(const FrameHeader& header) {
  const auto minimumRow = MinimumRowBytes(header.format, header.width);
  if (!minimumRow || header.width <= 0 || header.stride <= 0 || header.height == 0) {
    return std::nullopt;
  }
  const bool yuv = header.format == PixelType::YUY2 || header.format == PixelType::NV12;
  // Only the RGB types have a bottom-up row order to signal with the sign.
  if (yuv && header.height < 0) return std::nullopt;
  if (header.stride < *minimumRow) return std::nullopt;
  const int64_t rows = header.height < 0 ? -int64_t{header.height} : int64_t{header.height};
  const uint64_t luma = static_cast<uint64_t>(header.stride) * static_cast<uint64_t>(rows);
  return header.format == PixelType::NV12 ? luma + luma / 2 : luma;
}

}  // namespace pixora
