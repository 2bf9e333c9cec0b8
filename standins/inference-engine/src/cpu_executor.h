#pragma once

#include <memory>

#include "compiled_network.h"

namespace InferenceEngine::impl {

// Compiles a network once into oneDNN primitives: convolutions pick their memory formats,
// activations, biases and elementwise adds or multiplies that follow a convolution become its
// post-ops, and every tensor gets one buffer per request.
std::shared_ptr<CompiledNetwork> compileForDnnl(const NetworkState& network, size_t threads);

}  // namespace InferenceEngine::impl
