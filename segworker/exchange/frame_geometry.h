#pragma once

#include <cstddef>
#include <cstdint>

namespace mivra::foreground_detection {

// The one frame and mask shape the host and the worker exchange.
inline constexpr uint32_t kFrameWidth = 256;
inline constexpr uint32_t kFrameHeight = 144;
inline constexpr uint32_t kFrameStride = kFrameWidth * 4;
inline constexpr uint32_t kMaskStride = kFrameWidth;
inline constexpr std::size_t kFrameBytes = std::size_t(kFrameStride) * kFrameHeight;  // 0x24000
inline constexpr std::size_t kMaskBytes = std::size_t(kMaskStride) * kFrameHeight;    // 0x9000

static_assert(kFrameBytes == 0x24000 && kMaskBytes == 0x9000);

}  // namespace mivra::foreground_detection
