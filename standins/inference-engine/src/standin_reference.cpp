#include "ie_standin_reference.hpp"

#include "network_state.h"
#include "reference_executor.h"

namespace InferenceEngine::standin {

using impl::OpKind;

ReferenceRun::ReferenceRun(const CNNNetwork& network)
    : executor_(std::make_unique<impl::ReferenceExecutor>(network.state()->graph)) {}

ReferenceRun::~ReferenceRun() = default;

std::vector<float>& ReferenceRun::input(size_t index) { return executor_->input(index); }

const std::vector<float>& ReferenceRun::output(size_t index) const {
  return executor_->output(index);
}

void ReferenceRun::run() { executor_->run(); }

double convolutionMultiplyAdds(const CNNNetwork& network) {
  const impl::Graph& graph = *network.state()->graph;
  double total = 0;
  for (const impl::Node& node : graph.nodes) {
    const auto weights = [&] { return graph.nodes[node.inputs[1].node].outputShapes[0]; };
    const double outputs = double(impl::elementCount(node.outputShapes[0]));
    switch (node.kind) {
      case OpKind::Convolution: {
        const auto w = weights();  // out, in, kh, kw
        total += outputs * double(w[1] * w[2] * w[3]);
        break;
      }
      case OpKind::GroupConvolution: {
        const auto w = weights();  // groups, out, in, kh, kw
        total += outputs * double(w[2] * w[3] * w[4]);
        break;
      }
      case OpKind::ConvolutionBackpropData: {
        const auto w =
            weights();  // in, out, kh, kw: every input value reaches out × kh × kw outputs
        const auto& in = graph.nodes[node.inputs[0].node].outputShapes[node.inputs[0].port];
        total += double(impl::elementCount(in)) * double(w[1] * w[2] * w[3]);
        break;
      }
      default: break;
    }
  }
  return total;
}

}  // namespace InferenceEngine::standin
