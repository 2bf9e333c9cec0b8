#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gpucodec_test {

struct Mp4Sample {
  std::vector<uint8_t> bytes;  // length-prefixed NAL units
  uint64_t timestamp;          // in the file's timescale
  bool keyFrame;
};

// Writes one H.264 video track (avc1 with the given decoder configuration record) into a
// minimal MP4 file: decoding order is presentation order.
bool WriteMp4(const std::string& path, uint32_t width, uint32_t height, uint32_t timescale,
              const std::vector<uint8_t>& avcConfig, const std::vector<Mp4Sample>& samples);

}  // namespace gpucodec_test
