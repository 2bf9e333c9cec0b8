#include "cpu_executor.h"

#include <memory>
#include <string>

#include <oneapi/dnnl/dnnl.hpp>

#include "dnnl/compiler.h"
#include "dnnl/executor.h"
#include "errors.h"

namespace InferenceEngine::impl {

namespace {

using onednn::Compiler;
using onednn::DnnlExecutor;
using onednn::Plan;
using onednn::ThreadCount;

// Convolutions pick their memory formats, activations, biases and elementwise adds or multiplies
// that follow a convolution become its post-ops, and every tensor gets one buffer per request.
class DnnlNetwork final : public CompiledNetwork {
 public:
  DnnlNetwork(const NetworkState& state, size_t threads) : CompiledNetwork(state, threads) {
    auto plan = std::make_shared<Plan>();
    plan->graph = state.graph;
    plan->threads = threads;
    const ThreadCount count(threads);
    Compiler(*plan).compile();
    plan_ = std::move(plan);
  }

  std::unique_ptr<Executor> createExecutor() const override {
    return std::make_unique<DnnlExecutor>(plan_);
  }

 private:
  std::shared_ptr<const Plan> plan_;
};

}  // namespace

std::shared_ptr<CompiledNetwork> compileForCpu(const NetworkState& network, size_t threads) {
  try {
    return std::make_shared<DnnlNetwork>(network, threads);
  } catch (const dnnl::error& e) {
    fail(std::string("oneDNN: ") + e.what(), GENERAL_ERROR);
  }
}

}  // namespace InferenceEngine::impl
