#pragma once

#include <cstdint>

namespace gpucodec {

constexpr uint32_t kAvcConfigCapacity = 256;

// Builds the AVC decoder configuration record (ISO/IEC 14496-15) from the encoder's sequence
// payload: start code, SPS, start code, PPS. Returns 0, or -19 when the payload has no
// second start code, an SPS too short to carry profile and level, or a record that would
// not fit; the record is left alone then.
int32_t BuildAvcDecoderConfig(const uint8_t* payload, uint32_t payloadSize,
                              uint8_t (&record)[kAvcConfigCapacity], uint32_t& recordSize);

}  // namespace gpucodec
