#include "compiled_network.h"

#include "element_types.h"
#include "errors.h"

namespace InferenceEngine::impl {

namespace {

template <typename T>
Blob::Ptr allocated(const TensorDesc& desc) {
  auto blob = make_shared_blob<T>(desc);
  blob->allocate();
  return blob;
}

}  // namespace

Blob::Ptr allocateBlob(const TensorDesc& desc) {
  switch (desc.getPrecision()) {
    case Precision::FP32: return allocated<float>(desc);
    case Precision::FP16:
    case Precision::I16: return allocated<int16_t>(desc);
    case Precision::U16: return allocated<uint16_t>(desc);
    case Precision::U8: return allocated<uint8_t>(desc);
    case Precision::I8: return allocated<int8_t>(desc);
    case Precision::I32: return allocated<int32_t>(desc);
    case Precision::I64: return allocated<int64_t>(desc);
    default:
      fail(std::string("unsupported precision ") + desc.getPrecision().name(), NOT_IMPLEMENTED);
  }
}

CompiledNetwork::CompiledNetwork(const NetworkState& state, size_t threads)
    : graph_(state.graph),
      inputOrdinal_(state.inputOrdinal),
      outputOrdinal_(state.outputOrdinal),
      threads_(threads) {
  inputDescs_.resize(graph_->parameters.size());
  outputDescs_.resize(graph_->results.size());
  for (const auto& [name, info] : state.inputs) {
    if (!info->getInputData()) fail("input '" + name + "' has no data", NOT_ALLOCATED);
    const TensorDesc& desc = info->getTensorDesc();
    if (!isSupportedBlobPrecision(desc.getPrecision()))
      fail("input '" + name + "': unsupported precision " + desc.getPrecision().name(),
           NOT_IMPLEMENTED);
    // Memory in the order of the declared dimensions is all that the executors read.
    if (desc.getLayout() != ANY && desc.getLayout() != TensorDesc::getLayoutByDims(desc.getDims()))
      fail("input '" + name + "': layout conversion is not supported", NOT_IMPLEMENTED);
    auto copy = std::make_shared<InputInfo>();
    copy->setInputData(std::make_shared<Data>(*info->getInputData()));
    inputs_.emplace(name, copy);
    inputDescs_[inputOrdinal_.at(name)] = desc;
  }
  for (const auto& [name, data] : state.outputs) {
    const TensorDesc& desc = data->getTensorDesc();
    if (!isSupportedBlobPrecision(desc.getPrecision()))
      fail("output '" + name + "': unsupported precision " + desc.getPrecision().name(),
           NOT_IMPLEMENTED);
    if (desc.getLayout() != ANY && desc.getLayout() != TensorDesc::getLayoutByDims(desc.getDims()))
      fail("output '" + name + "': layout conversion is not supported", NOT_IMPLEMENTED);
    outputs_.emplace(name, std::make_shared<Data>(*data));
    outputDescs_[outputOrdinal_.at(name)] = desc;
  }
}

Request::Request(std::shared_ptr<const CompiledNetwork> network)
    : network_(std::move(network)), executor_(network_->createExecutor()) {
  for (const TensorDesc& desc : network_->inputDescs()) inputs_.push_back(allocateBlob(desc));
  for (const TensorDesc& desc : network_->outputDescs()) outputs_.push_back(allocateBlob(desc));
}

Blob::Ptr Request::blob(const std::string& name) const {
  if (const auto it = network_->inputOrdinal().find(name); it != network_->inputOrdinal().end())
    return inputs_[it->second];
  if (const auto it = network_->outputOrdinal().find(name); it != network_->outputOrdinal().end())
    return outputs_[it->second];
  fail("Failed to find input or output with name: '" + name + "'", NOT_FOUND);
}

void Request::infer() { executor_->infer(inputs_, outputs_); }

}  // namespace InferenceEngine::impl
