#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace pixora::kernels::testing {

// A buffer with guard bytes on both sides and an optional odd start, so that a write
// outside the region or a dependence on alignment shows.
class GuardedBuffer {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kGuardByte = 0xA5;

  explicit GuardedBuffer(size_t bytes, size_t misalign = 0, uint8_t fill = 0xCD)
      : bytes_(bytes), offset_(kGuard + misalign), storage_(bytes + 2 * kGuard + misalign, kGuardByte) {
    for (size_t i = 0; i < bytes_; ++i) storage_[offset_ + i] = fill;
  }

  uint8_t* data() { return storage_.data() + offset_; }
  const uint8_t* data() const { return storage_.data() + offset_; }
  size_t size() const { return bytes_; }
  uint8_t& operator[](size_t i) { return data()[i]; }
  uint8_t operator[](size_t i) const { return data()[i]; }

  void FillRandom(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t i = 0; i < bytes_; ++i) data()[i] = static_cast<uint8_t>(byte(rng));
  }

  bool GuardsIntact() const {
    for (size_t i = 0; i < offset_; ++i) {
      if (storage_[i] != kGuardByte) return false;
    }
    for (size_t i = offset_ + bytes_; i < storage_.size(); ++i) {
      if (storage_[i] != kGuardByte) return false;
    }
    return true;
  }

  std::vector<uint8_t> Contents() const { return {data(), data() + bytes_}; }

 private:
  size_t bytes_;
  size_t offset_;
  std::vector<uint8_t> storage_;
};

}  // namespace pixora::kernels::testing
