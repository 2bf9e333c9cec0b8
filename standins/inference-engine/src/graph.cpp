#include "graph.h"

#include <limits>

namespace InferenceEngine::impl {

// Saturates instead of wrapping, so a huge declared shape is caught as too large.
size_t elementCount(const Shape& shape) noexcept {
  size_t count = 1;
  for (const size_t d : shape) {
    if (d != 0 && count > std::numeric_limits<size_t>::max() / d)
      return std::numeric_limits<size_t>::max();
    count *= d;
  }
  return count;
}

std::string toString(const Shape& shape) {
  std::string text = "(";
  for (size_t i = 0; i < shape.size(); ++i) text += (i ? ", " : "") + std::to_string(shape[i]);
  return text + ")";
}

}  // namespace InferenceEngine::impl
