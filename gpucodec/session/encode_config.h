#pragma once

#include <cstdint>

#include "nv_encode_api.h"

namespace gpucodec {

// The preset for the "Preset" setting (0 speed, 1 balanced, 2 quality) and the latency family.
const GUID& PresetGuid(int32_t preset, bool lowLatency);

// The profile for a non-zero "Profile" setting (an H.264 profile_idc).
const GUID& ProfileGuid(int32_t profile);

struct SessionRate {
  uint32_t targetKbps;
  uint32_t frameRate;
  bool lowLatency;
};

// The preset's configuration with the session's changes: P pictures only, one infinite group
// of pictures, frames, variable frame rate, the profile when one is asked for, and rate
// control driven by the target: CBR with a one-frame VBV for the low-latency presets, VBR
// with a 1.5 x peak otherwise.
NV_ENC_CONFIG SessionEncodeConfig(const NV_ENC_CONFIG& preset, int32_t profile,
                                  const SessionRate& rate);

// 16 buffers for every ordinary size, 32 for the smallest pictures.
uint32_t BufferCount(uint32_t width, uint32_t height);

}  // namespace gpucodec
