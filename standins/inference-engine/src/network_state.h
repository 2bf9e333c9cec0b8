#pragma once

#include <memory>

#include "graph.h"
#include "ie_input_info.hpp"

namespace InferenceEngine::impl {

// What a CNNNetwork shares among its copies: the checked graph and the caller-adjustable
// descriptions of its inputs and outputs.
struct NetworkState {
  std::shared_ptr<const Graph> graph;
  InputsDataMap inputs;
  OutputsDataMap outputs;
  std::map<std::string, size_t> inputOrdinal;   // name -> index into Graph::parameters
  std::map<std::string, size_t> outputOrdinal;  // name -> index into Graph::results
};

std::shared_ptr<NetworkState> makeNetworkState(Graph graph);

}  // namespace InferenceEngine::impl
