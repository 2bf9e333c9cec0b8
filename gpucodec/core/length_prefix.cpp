#include "length_prefix.h"

#include <cstring>

namespace gpucodec {
namespace {

struct StartCode {
  size_t position;  // size when there is none
  size_t length;
};

// The first start code at or after from, found by its 01 byte. A 3-byte code must begin no
// later than size - 4, so its 01 byte is at most at size - 2; a 4-byte code may end the output.
StartCode FindStartCode(const uint8_t* bytes, size_t size, size_t from) {
  size_t j = from + 2;
  while (j < size) {
    const void* one = std::memchr(bytes + j, 1, size - j);
    if (one == nullptr) break;
    j = static_cast<size_t>(static_cast<const uint8_t*>(one) - bytes);
    if (bytes[j - 1] == 0 && bytes[j - 2] == 0) {
      if (j >= from + 3 && bytes[j - 3] == 0) return {j - 3, 4};
      if (j + 2 <= size) return {j - 2, 3};
    }
    ++j;
  }
  return {size, 0};
}

void Append(GPUCODEC_ENCODED_FRAME& frame, const uint8_t* nal, size_t length) {
  const size_t needed = size_t{frame.size} + 4 + length;
  if (needed > frame.capacity) {
    auto grown = std::make_unique<uint8_t[]>(needed);
    if (frame.size != 0) std::memcpy(grown.get(), frame.buffer.get(), frame.size);
    frame.buffer = std::move(grown);
    frame.capacity = static_cast<uint32_t>(needed);
  }
  uint8_t* out = frame.buffer.get() + frame.size;
  out[0] = static_cast<uint8_t>(length >> 24);
  out[1] = static_cast<uint8_t>(length >> 16);
  out[2] = static_cast<uint8_t>(length >> 8);
  out[3] = static_cast<uint8_t>(length);
  std::memcpy(out + 4, nal, length);
  frame.size = static_cast<uint32_t>(needed);
}

}  // namespace

void ConvertToLengthPrefixed(const uint8_t* output, size_t size, GPUCODEC_ENCODED_FRAME& frame) {
  frame.size = 0;
  if (size < 4) return;
  frame.buffer = std::make_unique<uint8_t[]>(size + 32);
  frame.capacity = static_cast<uint32_t>(size + 32);

  StartCode code = FindStartCode(output, size, 0);
  while (code.length != 0) {
    const size_t begin = code.position + code.length;
    code = begin + 3 <= size ? FindStartCode(output, size, begin) : StartCode{size, 0};
    const size_t end = code.length != 0 ? code.position : size;
    if (end > begin) Append(frame, output + begin, end - begin);
  }
}

}  // namespace gpucodec
