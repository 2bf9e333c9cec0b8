#pragma once

#include "pixora_camera_props.h"

#include <cstdint>
#include <optional>

namespace pixora {

// Pixel bytes that a well-formed header announces (stride × rows, NV12 with its half-size
// chroma plane), or nothing when the header describes no valid picture.
std::optional<uint64_t> AnnouncedPixelBytes(const FrameHeader& header);

}  // namespace pixora
