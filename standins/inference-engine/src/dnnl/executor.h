#pragma once

#include <memory>
#include <vector>

#include <omp.h>

#include "compiled_network.h"
#include "plan.h"

namespace InferenceEngine::impl::onednn {

// oneDNN plans its work for the thread count in force when a primitive is made, and runs with
// the one in force when it executes: both are the network's.
class ThreadCount {
 public:
  explicit ThreadCount(size_t threads) : saved_(omp_get_max_threads()) {
    omp_set_num_threads(int(threads));
  }
  ~ThreadCount() { omp_set_num_threads(saved_); }
  ThreadCount(const ThreadCount&) = delete;
  ThreadCount& operator=(const ThreadCount&) = delete;

 private:
  int saved_;
};

// One request's buffers and prepared arguments; Infer only runs what is set up here. One
// thread at a time.
class DnnlExecutor final : public Executor {
 public:
  explicit DnnlExecutor(std::shared_ptr<const Plan> plan);
  void infer(const std::vector<Blob::Ptr>& inputs, const std::vector<Blob::Ptr>& outputs) override;

 private:
  struct Prepared {
    std::vector<memory> held;
    std::vector<dnnl_exec_arg_t> args;
    std::vector<float*> buffers;
    std::vector<float> scratch;
  };

  std::shared_ptr<const Plan> plan_;
  dnnl::stream stream_;
  std::vector<memory> memories_;
  std::vector<float*> buffers_;
  std::vector<Prepared> prepared_;
};

}  // namespace InferenceEngine::impl::onednn
