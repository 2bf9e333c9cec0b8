#include "element_types.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "errors.h"

namespace InferenceEngine::impl {

ElementType parseElementType(const std::string& name) {
  static const std::map<std::string, ElementType> table = {
      {"f32", ElementType::f32}, {"f16", ElementType::f16}, {"i64", ElementType::i64},
      {"i32", ElementType::i32}, {"u8", ElementType::u8},   {"i8", ElementType::i8}};
  const auto it = table.find(name);
  if (it == table.end()) fail("unsupported element type '" + name + "'");
  return it->second;
}

size_t byteSize(ElementType type) noexcept {
  switch (type) {
    case ElementType::f32: return 4;
    case ElementType::f16: return 2;
    case ElementType::i64: return 8;
    case ElementType::i32: return 4;
    case ElementType::u8:
    case ElementType::i8: return 1;
  }
  return 0;
}

Precision defaultPrecision(ElementType type) noexcept {
  switch (type) {
    case ElementType::f32:
    case ElementType::f16: return Precision::FP32;
    case ElementType::i64: return Precision::I64;
    case ElementType::i32: return Precision::I32;
    case ElementType::u8: return Precision::U8;
    case ElementType::i8: return Precision::I8;
  }
  return Precision::UNSPECIFIED;
}

float halfToFloat(uint16_t half) noexcept {
  const uint32_t sign = uint32_t(half & 0x8000u) << 16;
  const uint32_t exponent = (half >> 10) & 0x1fu;
  const uint32_t mantissa = half & 0x3ffu;
  if (exponent == 0) {
    const float magnitude = std::ldexp(float(mantissa), -24);
    return sign ? -magnitude : magnitude;
  }
  if (exponent == 31) return std::bit_cast<float>(sign | 0x7f800000u | (mantissa << 13));
  return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (mantissa << 13));
}

uint16_t floatToHalf(float value) noexcept {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint16_t sign = uint16_t((bits >> 16) & 0x8000u);
  const float magnitude = std::fabs(value);
  if (std::isnan(value)) return uint16_t(sign | 0x7e00u);
  if (magnitude >= 65520.0f) return uint16_t(sign | 0x7c00u);
  if (magnitude < 6.103515625e-05f) {
    // Subnormal: a multiple of 2^-24, rounded to nearest even by nearbyint.
    return uint16_t(sign | uint16_t(std::nearbyint(magnitude * 16777216.0f)));
  }
  const uint32_t m = bits & 0x7fffffffu;
  uint32_t rounded = m + 0xfffu + ((m >> 13) & 1u);  // round to nearest even at bit 13
  return uint16_t(sign | uint16_t((rounded - (112u << 23)) >> 13));
}

namespace {

template <typename Int>
float saturateTrunc(float value) noexcept {
  if (std::isnan(value)) return 0;
  const double truncated = std::trunc(double(value));
  const double low = double(std::numeric_limits<Int>::min());
  const double high = double(std::numeric_limits<Int>::max());
  return float(truncated < low ? low : truncated > high ? high : truncated);
}

template <typename T>
void readTyped(const void* source, size_t count, float* destination) {
  for (size_t i = 0; i < count; ++i) {
    T v;
    std::memcpy(&v, static_cast<const char*>(source) + i * sizeof(T), sizeof(T));
    destination[i] = float(v);
  }
}

template <typename T>
void writeTyped(const float* source, size_t count, void* destination) {
  for (size_t i = 0; i < count; ++i) {
    const T v = T(saturateTrunc<T>(source[i]));
    std::memcpy(static_cast<char*>(destination) + i * sizeof(T), &v, sizeof(T));
  }
}

}  // namespace

float castTo(ElementType type, float value) noexcept {
  switch (type) {
    case ElementType::f32: return value;
    case ElementType::f16: return halfToFloat(floatToHalf(value));
    case ElementType::i64: return saturateTrunc<int64_t>(value);
    case ElementType::i32: return saturateTrunc<int32_t>(value);
    case ElementType::u8: return saturateTrunc<uint8_t>(value);
    case ElementType::i8: return saturateTrunc<int8_t>(value);
  }
  return value;
}

bool holdsEvery(ElementType type, const Precision& precision) noexcept {
  const auto among = [&](std::initializer_list<Precision::ePrecision> list) {
    return std::find(list.begin(), list.end(), Precision::ePrecision(precision)) != list.end();
  };
  switch (type) {
    case ElementType::f32: return true;
    case ElementType::f16: return among({Precision::FP16, Precision::U8, Precision::I8});
    case ElementType::i64:
    case ElementType::i32:
      return among({Precision::U8, Precision::I8, Precision::U16, Precision::I16, Precision::I32});
    case ElementType::u8: return among({Precision::U8});
    case ElementType::i8: return among({Precision::I8});
  }
  return false;
}

bool isSupportedBlobPrecision(const Precision& precision) noexcept {
  switch (precision) {
    case Precision::FP32:
    case Precision::FP16:
    case Precision::U8:
    case Precision::I8:
    case Precision::U16:
    case Precision::I16:
    case Precision::I32:
    case Precision::I64: return true;
    default: return false;
  }
}

void readAsFloat(const Precision& precision, const void* source, size_t count, float* destination) {
  switch (precision) {
    case Precision::FP32: std::memcpy(destination, source, count * sizeof(float)); return;
    case Precision::FP16:
      for (size_t i = 0; i < count; ++i) {
        uint16_t h;
        std::memcpy(&h, static_cast<const char*>(source) + 2 * i, 2);
        destination[i] = halfToFloat(h);
      }
      return;
    case Precision::U8: readTyped<uint8_t>(source, count, destination); return;
    case Precision::I8: readTyped<int8_t>(source, count, destination); return;
    case Precision::U16: readTyped<uint16_t>(source, count, destination); return;
    case Precision::I16: readTyped<int16_t>(source, count, destination); return;
    case Precision::I32: readTyped<int32_t>(source, count, destination); return;
    case Precision::I64: readTyped<int64_t>(source, count, destination); return;
    default: fail(std::string("unsupported blob precision ") + precision.name(), NOT_IMPLEMENTED);
  }
}

void writeFromFloat(const Precision& precision, const float* source, size_t count,
                    void* destination) {
  switch (precision) {
    case Precision::FP32: std::memcpy(destination, source, count * sizeof(float)); return;
    case Precision::FP16:
      for (size_t i = 0; i < count; ++i) {
        const uint16_t h = floatToHalf(source[i]);
        std::memcpy(static_cast<char*>(destination) + 2 * i, &h, 2);
      }
      return;
    case Precision::U8: writeTyped<uint8_t>(source, count, destination); return;
    case Precision::I8: writeTyped<int8_t>(source, count, destination); return;
    case Precision::U16: writeTyped<uint16_t>(source, count, destination); return;
    case Precision::I16: writeTyped<int16_t>(source, count, destination); return;
    case Precision::I32: writeTyped<int32_t>(source, count, destination); return;
    case Precision::I64: writeTyped<int64_t>(source, count, destination); return;
    default: fail(std::string("unsupported blob precision ") + precision.name(), NOT_IMPLEMENTED);
  }
}

}  // namespace InferenceEngine::impl
