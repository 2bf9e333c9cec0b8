#pragma once

#include "graph.h"

namespace InferenceEngine::impl {

// Fills each node's output shapes, types and attributes, and checks them against the shapes
// that the document declares. Raises on any inconsistency.
void inferShapes(Graph& graph);

// The numpy broadcast of two shapes; raises when they are incompatible.
Shape broadcastShapes(const Shape& a, const Shape& b);

}  // namespace InferenceEngine::impl
