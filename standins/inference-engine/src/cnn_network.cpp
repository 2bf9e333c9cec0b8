#include "element_types.h"
#include "errors.h"
#include "ie_cnn_network.h"
#include "network_state.h"

namespace InferenceEngine {

namespace impl {

namespace {

// The real engine names an output after the layer that produces it, with the port number
// when that layer has more than one output.
std::string outputName(const Graph& graph, const OutputRef& ref) {
  const Node& producer = graph.nodes[ref.node];
  if (producer.outputShapes.size() == 1) return producer.name;
  return producer.name + "." + std::to_string(ref.port);
}

TensorDesc describe(const Node& node, size_t port) {
  const Shape& dims = node.outputShapes[port];
  return TensorDesc(defaultPrecision(node.outputTypes[port]), dims,
                    TensorDesc::getLayoutByDims(dims));
}

}  // namespace

std::shared_ptr<NetworkState> makeNetworkState(Graph graph) {
  auto state = std::make_shared<NetworkState>();
  for (size_t k = 0; k < graph.parameters.size(); ++k) {
    const Node& node = graph.nodes[graph.parameters[k]];
    auto info = std::make_shared<InputInfo>();
    info->setInputData(std::make_shared<Data>(node.name, describe(node, 0)));
    if (!state->inputs.emplace(node.name, std::move(info)).second)
      fail("two inputs are named '" + node.name + "'", NETWORK_NOT_READ);
    state->inputOrdinal[node.name] = k;
  }
  for (size_t k = 0; k < graph.results.size(); ++k) {
    const Node& result = graph.nodes[graph.results[k]];
    const OutputRef& ref = result.inputs[0];
    const std::string name = outputName(graph, ref);
    if (state->inputs.contains(name))
      fail("output '" + name + "' has the name of an input", NETWORK_NOT_READ);
    if (!state->outputs
             .emplace(name, std::make_shared<Data>(name, describe(graph.nodes[ref.node], ref.port)))
             .second)
      fail("two outputs are named '" + name + "'", NETWORK_NOT_READ);
    state->outputOrdinal[name] = k;
  }
  state->graph = std::make_shared<const Graph>(std::move(graph));
  return state;
}

}  // namespace impl

const impl::NetworkState& CNNNetwork::checked() const {
  if (!state_) throw Exception("CNNNetwork was not initialized.", NETWORK_NOT_READ);
  return *state_;
}

InputsDataMap CNNNetwork::getInputsInfo() const { return checked().inputs; }

OutputsDataMap CNNNetwork::getOutputsInfo() const { return checked().outputs; }

const std::string& CNNNetwork::getName() const { return checked().graph->name; }

size_t CNNNetwork::layerCount() const { return checked().graph->nodes.size(); }

}  // namespace InferenceEngine
