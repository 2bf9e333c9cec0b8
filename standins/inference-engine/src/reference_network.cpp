#include <memory>

#include "cpu_executor.h"
#include "element_types.h"
#include "reference_executor.h"

namespace InferenceEngine::impl {

namespace {

// The request's blobs converted to and from the reference executor's floats around each run.
class ReferenceRequestExecutor final : public Executor {
 public:
  explicit ReferenceRequestExecutor(std::shared_ptr<const Graph> graph)
      : graph_(graph), executor_(std::move(graph)) {}

  void infer(const std::vector<Blob::Ptr>& inputs, const std::vector<Blob::Ptr>& outputs) override {
    for (size_t k = 0; k < inputs.size(); ++k) {
      const auto& blob = static_cast<const MemoryBlob&>(*inputs[k]);
      std::vector<float>& target = executor_.input(k);
      const Precision precision = blob.getTensorDesc().getPrecision();
      readAsFloat(precision, blob.rmap().as<const void*>(), blob.size(), target.data());
      const ElementType type = graph_->nodes[graph_->parameters[k]].outputTypes[0];
      if (!holdsEvery(type, precision))
        for (float& value : target) value = castTo(type, value);
    }
    executor_.run();
    for (size_t k = 0; k < outputs.size(); ++k) {
      auto& blob = static_cast<MemoryBlob&>(*outputs[k]);
      writeFromFloat(blob.getTensorDesc().getPrecision(), executor_.output(k).data(), blob.size(),
                     blob.wmap().as<void*>());
    }
  }

 private:
  std::shared_ptr<const Graph> graph_;
  ReferenceExecutor executor_;
};

class ReferenceNetwork final : public CompiledNetwork {
 public:
  using CompiledNetwork::CompiledNetwork;

  std::unique_ptr<Executor> createExecutor() const override {
    return std::make_unique<ReferenceRequestExecutor>(graph());
  }
};

}  // namespace

// The reference executor runs on the calling thread alone, whatever the thread count.
std::shared_ptr<CompiledNetwork> compileForCpu(const NetworkState& network, size_t threads) {
  return std::make_shared<ReferenceNetwork>(network, threads);
}

}  // namespace InferenceEngine::impl
