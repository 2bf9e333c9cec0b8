#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace InferenceEngine {

class Precision {
 public:
  enum ePrecision : uint8_t {
    UNSPECIFIED = 255,
    MIXED = 0,
    FP32 = 10,
    FP16 = 11,
    BF16 = 12,
    FP64 = 13,
    Q78 = 20,
    I16 = 30,
    U8 = 40,
    I8 = 50,
    U16 = 60,
    I32 = 70,
    I64 = 72,
    U64 = 73,
    BIN = 71,
    BOOL = 41,
    CUSTOM = 80
  };

  Precision() = default;
  Precision(ePrecision value) : value_(value) {}  // NOLINT: implicit as in the real interface

  operator ePrecision() const noexcept { return value_; }
  bool operator==(const Precision& other) const noexcept { return value_ == other.value_; }
  bool operator==(ePrecision other) const noexcept { return value_ == other; }
  bool operator!=(const Precision& other) const noexcept { return value_ != other.value_; }
  bool operator!=(ePrecision other) const noexcept { return value_ != other; }

  // Bytes per element; 0 for precisions without a fixed element size.
  size_t size() const noexcept;
  const char* name() const noexcept;
  bool is_float() const noexcept {
    return value_ == FP32 || value_ == FP16 || value_ == BF16 || value_ == FP64;
  }

  // Whether T is the storage type that a blob of this precision holds.
  template <typename T>
  bool hasStorageType() const noexcept;

 private:
  ePrecision value_ = UNSPECIFIED;
};

template <typename T>
bool Precision::hasStorageType() const noexcept {
  switch (value_) {
    case FP32: return std::is_same_v<T, float>;
    case FP64: return std::is_same_v<T, double>;
    case FP16:
    case BF16:
    case I16:
    case Q78: return std::is_same_v<T, int16_t> || std::is_same_v<T, uint16_t>;
    case U16: return std::is_same_v<T, uint16_t>;
    case U8:
    case BOOL:
    case BIN: return std::is_same_v<T, uint8_t> || std::is_same_v<T, char>;
    case I8: return std::is_same_v<T, int8_t>;
    case I32: return std::is_same_v<T, int32_t>;
    case I64: return std::is_same_v<T, int64_t>;
    case U64: return std::is_same_v<T, uint64_t>;
    default: return false;
  }
}

}  // namespace InferenceEngine
