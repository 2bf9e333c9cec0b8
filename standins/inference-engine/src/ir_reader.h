#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "graph.h"

namespace InferenceEngine::impl {

// Parses an IR version 10 document into a graph in producer-before-consumer order. Const
// data is copied out of the weights. Shapes are as declared; shape inference checks them.
Graph readIr(const std::string& xml, std::span<const uint8_t> weights);

}  // namespace InferenceEngine::impl
