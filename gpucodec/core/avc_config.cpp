#include "avc_config.h"

#include <cstring>

#include "gpucodec.h"

namespace gpucodec {
namespace {

constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};

}  // namespace

int32_t BuildAvcDecoderConfig(const uint8_t* payload, uint32_t payloadSize,
                              uint8_t (&record)[kAvcConfigCapacity], uint32_t& recordSize) {
  uint32_t p = 4;
  while (p + 4 < payloadSize && std::memcmp(payload + p, kStartCode, 4) != 0) ++p;
  if (p + 4 >= payloadSize) return GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS;

  const uint32_t spsLength = p - 4;
  const uint32_t ppsLength = payloadSize - p - 4;
  const uint8_t* sps = payload + 4;
  const uint8_t* pps = payload + p + 4;
  // The record copies profile, compatibility and level from SPS bytes 1 to 3.
  if (spsLength < 4 || 11 + spsLength + ppsLength > kAvcConfigCapacity) {
    return GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS;
  }

  uint8_t* out = record;
  *out++ = 1;
  *out++ = sps[1];
  *out++ = sps[2];
  *out++ = sps[3];
  *out++ = 0xFF;
  *out++ = 0xE1;
  *out++ = static_cast<uint8_t>(spsLength >> 8);
  *out++ = static_cast<uint8_t>(spsLength);
  std::memcpy(out, sps, spsLength);
  out += spsLength;
  *out++ = 1;
  *out++ = static_cast<uint8_t>(ppsLength >> 8);
  *out++ = static_cast<uint8_t>(ppsLength);
  std::memcpy(out, pps, ppsLength);
  recordSize = 11 + spsLength + ppsLength;
  return GPUCODEC_ERR_NONE;
}

}  // namespace gpucodec
