#pragma once

#include <memory>

#include "graph.h"
#include "ie_blob.h"
#include "ie_data.h"
#include "ie_input_info.hpp"
#include "network_state.h"

namespace InferenceEngine::impl {

// Runs one request's graph on the blobs that the request owns.
class Executor {
 public:
  virtual ~Executor() = default;
  virtual void infer(const std::vector<Blob::Ptr>& inputs,
                     const std::vector<Blob::Ptr>& outputs) = 0;
};

// A network fixed at load time: the descriptions as they were then, so later changes to
// the CNNNetwork do not reach an already loaded network.
class CompiledNetwork {
 public:
  CompiledNetwork(const NetworkState& state, size_t threads);
  virtual ~CompiledNetwork() = default;

  const ConstInputsDataMap& inputs() const noexcept { return inputs_; }
  const ConstOutputsDataMap& outputs() const noexcept { return outputs_; }
  const std::shared_ptr<const Graph>& graph() const noexcept { return graph_; }
  size_t threads() const noexcept { return threads_; }

  // Input and output descriptions by the graph's parameter and result order.
  const std::vector<TensorDesc>& inputDescs() const noexcept { return inputDescs_; }
  const std::vector<TensorDesc>& outputDescs() const noexcept { return outputDescs_; }
  const std::map<std::string, size_t>& inputOrdinal() const noexcept { return inputOrdinal_; }
  const std::map<std::string, size_t>& outputOrdinal() const noexcept { return outputOrdinal_; }

  virtual std::unique_ptr<Executor> createExecutor() const = 0;

 private:
  std::shared_ptr<const Graph> graph_;
  ConstInputsDataMap inputs_;
  ConstOutputsDataMap outputs_;
  std::vector<TensorDesc> inputDescs_;
  std::vector<TensorDesc> outputDescs_;
  std::map<std::string, size_t> inputOrdinal_;
  std::map<std::string, size_t> outputOrdinal_;
  size_t threads_;
};

// A request: its blobs, allocated once, and its executor. It keeps its network alive.
class Request {
 public:
  explicit Request(std::shared_ptr<const CompiledNetwork> network);

  Blob::Ptr blob(const std::string& name) const;
  void infer();

 private:
  std::shared_ptr<const CompiledNetwork> network_;
  std::vector<Blob::Ptr> inputs_;
  std::vector<Blob::Ptr> outputs_;
  std::unique_ptr<Executor> executor_;
};

Blob::Ptr allocateBlob(const TensorDesc& desc);

}  // namespace InferenceEngine::impl
