// Arbitrary encoder output and sequence payloads: the conversion must stay inside its
// buffers, give an exact chain of length prefixes and agree with a plain byte-by-byte scan;
// the record must stay inside its 256 bytes and describe what it holds.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "avc_config.h"
#include "length_prefix.h"

namespace {

// The scan as written out: every position, 4-byte codes before 3-byte ones.
std::vector<uint8_t> ReferenceConversion(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  if (size < 4) return out;
  std::vector<std::pair<size_t, size_t>> units;
  size_t begin = SIZE_MAX;
  size_t i = 0;
  while (i + 4 <= size) {
    size_t code = 0;
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 0 && data[i + 3] == 1) code = 4;
    else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) code = 3;
    if (code == 0) {
      ++i;
      continue;
    }
    if (begin != SIZE_MAX) units.emplace_back(begin, i);
    begin = i + code;
    i = begin;
  }
  if (begin != SIZE_MAX) units.emplace_back(begin, size);
  for (auto [from, to] : units) {
    if (to <= from) continue;
    const size_t length = to - from;
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(length >> shift));
    out.insert(out.end(), data + from, data + to);
  }
  return out;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exact-size copies, so that ASan sees any read past the end.
  std::vector<uint8_t> output(data, data + size);
  gpucodec::GPUCODEC_ENCODED_FRAME frame;
  gpucodec::ConvertToLengthPrefixed(output.data(), output.size(), frame);
  Check(frame.size <= frame.capacity);
  size_t at = 0;
  while (at < frame.size) {
    Check(frame.size - at >= 4);
    const uint8_t* p = frame.buffer.get() + at;
    const size_t length = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
    Check(length > 0 && length <= frame.size - at - 4);
    at += 4 + length;
  }
  const std::vector<uint8_t> expected = ReferenceConversion(output.data(), output.size());
  Check(expected.size() == frame.size &&
        (frame.size == 0 || std::memcmp(expected.data(), frame.buffer.get(), frame.size) == 0));

  uint8_t record[gpucodec::kAvcConfigCapacity];
  std::memset(record, 0xA5, sizeof(record));
  uint32_t recordSize = 0;
  const auto* payload = static_cast<const uint8_t*>(size == 0 ? nullptr : output.data());
  if (gpucodec::BuildAvcDecoderConfig(payload, static_cast<uint32_t>(size), record, recordSize) == 0) {
    Check(recordSize >= 11 && recordSize <= sizeof(record));
    const size_t spsLength = (size_t{record[6]} << 8) | record[7];
    Check(8 + spsLength + 3 <= recordSize);
    const size_t ppsLength = (size_t{record[9 + spsLength]} << 8) | record[10 + spsLength];
    Check(recordSize == 11 + spsLength + ppsLength);
    Check(std::memcmp(record + 8, output.data() + 4, spsLength) == 0);
  }
  return 0;
}
