#pragma once

#include <cstdint>
#include <string>

#include "graph.h"
#include "ie_precision.hpp"

namespace InferenceEngine::impl {

ElementType parseElementType(const std::string& name);
size_t byteSize(ElementType type) noexcept;
Precision defaultPrecision(ElementType type) noexcept;

float halfToFloat(uint16_t half) noexcept;
uint16_t floatToHalf(float value) noexcept;

// What storing value as type gives: integers truncate toward zero and saturate.
float castTo(ElementType type, float value) noexcept;

// Whether every value of the precision is one of the type, so that storing it as the type
// changes nothing.
bool holdsEvery(ElementType type, const Precision& precision) noexcept;

// Converts between blob memory of a given precision and the executor's floats.
void readAsFloat(const Precision& precision, const void* source, size_t count, float* destination);
void writeFromFloat(const Precision& precision, const float* source, size_t count,
                    void* destination);
bool isSupportedBlobPrecision(const Precision& precision) noexcept;

}  // namespace InferenceEngine::impl
