#pragma once

#include <cstdint>
#include <memory>

namespace gpucodec {

// One finished picture as the host receives it: a length-prefixed access unit. The queue
// owns it until GetFrame hands it to the host, and the host's ReleaseFrame frees it.
struct GPUCODEC_ENCODED_FRAME {
  uint32_t pictureType = 0;  // the driver's picture type; 3 is IDR
  uint64_t timestamp = 0;
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t capacity = 0;
  uint32_t size = 0;  // valid bytes
};

constexpr uint32_t kPictureTypeIdr = 3;

}  // namespace gpucodec
