#pragma once

#include <memory>

#include "compiled_network.h"

namespace InferenceEngine::impl {

// Compiles a network once for the CPU plug-in. One of two executors is built in: natively
// oneDNN primitives (dnnl_network.cpp), in the Windows build the reference executor
// (reference_network.cpp).
std::shared_ptr<CompiledNetwork> compileForCpu(const NetworkState& network, size_t threads);

}  // namespace InferenceEngine::impl
