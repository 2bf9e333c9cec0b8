#include "reference_executor.h"

#include <algorithm>

#include "reference_kernels.h"

namespace InferenceEngine::impl {

ReferenceExecutor::ReferenceExecutor(std::shared_ptr<const Graph> graph)
    : graph_(std::move(graph)) {
  values_.resize(graph_->nodes.size());
  for (size_t i = 0; i < graph_->nodes.size(); ++i) {
    const Node& node = graph_->nodes[i];
    if (node.kind == OpKind::Const) {
      values_[i] = {*node.constant};
      continue;
    }
    for (const Shape& s : node.outputShapes) values_[i].emplace_back(elementCount(s), 0.0f);
  }
}

std::vector<float>& ReferenceExecutor::input(size_t parameterOrdinal) {
  return values_.at(graph_->parameters.at(parameterOrdinal))[0];
}

const std::vector<float>& ReferenceExecutor::output(size_t resultOrdinal) const {
  return values_.at(graph_->results.at(resultOrdinal))[0];
}

void ReferenceExecutor::run() {
  for (size_t i = 0; i < graph_->nodes.size(); ++i) {
    const Node& node = graph_->nodes[i];
    const auto in = [&](size_t k) {
      const OutputRef& ref = node.inputs[k];
      return View{graph_->nodes[ref.node].outputShapes[ref.port], values_[ref.node][ref.port]};
    };
    std::vector<std::vector<float>>& outs = values_[i];
    const Shape& so = node.outputShapes[0];
    switch (node.kind) {
      case OpKind::Parameter:
      case OpKind::Const: break;
      case OpKind::Convert:
        convert(std::get<ConvertAttrs>(node.attrs).destination, in(0).data, outs[0]);
        break;
      case OpKind::Convolution:
      case OpKind::GroupConvolution:
        convolution(in(0), in(1), so, outs[0], std::get<ConvAttrs>(node.attrs));
        break;
      case OpKind::ConvolutionBackpropData:
        backpropData(in(0), in(1), so, outs[0], std::get<ConvAttrs>(node.attrs));
        break;
      case OpKind::Add: arithmetic(Arithmetic::add, in(0), in(1), so, outs[0]); break;
      case OpKind::Multiply: arithmetic(Arithmetic::multiply, in(0), in(1), so, outs[0]); break;
      case OpKind::Relu:
      case OpKind::HSwish:
      case OpKind::Sigmoid:
      case OpKind::Clamp: activation(node, in(0).data, outs[0]); break;
      case OpKind::ReduceMean: reduceMean(in(0), outs[0], std::get<ReduceAttrs>(node.attrs)); break;
      case OpKind::Interpolate: {
        std::vector<float> a(interpolateScratch(in(0).shape, so)), b(a.size());
        interpolate(in(0), so, outs[0], std::get<InterpolateAttrs>(node.attrs), a, b);
        break;
      }
      case OpKind::Concat: {
        std::vector<View> inputs;
        for (size_t k = 0; k < node.inputs.size(); ++k) inputs.push_back(in(k));
        concat(inputs, so, outs[0], std::get<AxisAttrs>(node.attrs).axis);
        break;
      }
      case OpKind::Split: {
        std::vector<std::span<float>> parts(outs.begin(), outs.end());
        split(in(0), parts, std::get<AxisAttrs>(node.attrs).axis);
        break;
      }
      case OpKind::Gather:
        gather(in(0), in(1).data, outs[0], std::get<AxisAttrs>(node.attrs).axis, node.name);
        break;
      case OpKind::Result: std::ranges::copy(in(0).data, outs[0].begin()); break;
    }
  }
}

}  // namespace InferenceEngine::impl
