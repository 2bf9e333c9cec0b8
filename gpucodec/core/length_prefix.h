#pragma once

#include <cstddef>
#include <cstdint>

#include "encoded_frame.h"

namespace gpucodec {

// Replaces the frame's bytes with the encoder output's NAL units, each preceded by its
// length as 4 big-endian bytes instead of the Annex B start code (3 or 4 bytes) before it.
// Bytes before the first start code and empty NAL units are dropped; an output of fewer
// than 4 bytes, or one without a start code, leaves the frame empty.
void ConvertToLengthPrefixed(const uint8_t* output, size_t size, GPUCODEC_ENCODED_FRAME& frame);

}  // namespace gpucodec
