#pragma once

#include <span>
#include <string>

#include "graph.h"

namespace InferenceEngine::impl {

// Plain loops over dense row-major float tensors: the reference executor's operations, and
// the faster executor's fallback for operations that are cheap next to convolutions.
struct View {
  const Shape& shape;
  std::span<const float> data;
};

enum class Arithmetic { add, multiply };

void arithmetic(Arithmetic op, View a, View b, const Shape& so, std::span<float> out);
void convolution(View in, View w, const Shape& so, std::span<float> out, const ConvAttrs& a);
void backpropData(View in, View w, const Shape& so, std::span<float> out, const ConvAttrs& a);
void reduceMean(View in, std::span<float> out, const ReduceAttrs& a);
// Scratch: two buffers of interpolateScratch() floats each.
size_t interpolateScratch(const Shape& si, const Shape& so);
void interpolate(View in, const Shape& so, std::span<float> out, const InterpolateAttrs& a,
                 std::span<float> scratchA, std::span<float> scratchB);
void concat(std::span<const View> inputs, const Shape& so, std::span<float> out, size_t axis);
void split(View in, std::span<const std::span<float>> outs, size_t axis);
void gather(View data, std::span<const float> indices, std::span<float> out, size_t axis,
            const std::string& name);
void convert(ElementType type, std::span<const float> in, std::span<float> out);
// Relu, HSwish, Sigmoid or Clamp, as the node says.
void activation(const Node& node, std::span<const float> in, std::span<float> out);

}  // namespace InferenceEngine::impl
