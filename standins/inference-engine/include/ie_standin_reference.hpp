#pragma once

// Not part of the real interface: the stand-in's plain reference executor, the oracle its
// oneDNN executor is tested against, for tests and benchmarks outside the stand-in that
// compare the engine with it or time it.

#include <cstddef>
#include <memory>
#include <vector>

#include "ie_cnn_network.h"

namespace InferenceEngine::impl {
class ReferenceExecutor;
}

namespace InferenceEngine::standin {

// Runs a network read by Core::ReadNetwork with plain loops over float tensors. One thread
// at a time.
class ReferenceRun {
 public:
  explicit ReferenceRun(const CNNNetwork& network);
  ~ReferenceRun();
  ReferenceRun(const ReferenceRun&) = delete;
  ReferenceRun& operator=(const ReferenceRun&) = delete;

  // The values of input `index` (in the document's order of Parameters), already in its
  // element type's range, and of output `index` (in the order of Results).
  std::vector<float>& input(size_t index);
  const std::vector<float>& output(size_t index) const;
  void run();

 private:
  std::unique_ptr<impl::ReferenceExecutor> executor_;
};

// Multiply-adds of the network's convolutions (plain, grouped and transposed), nearly all of
// the arithmetic of a convolutional network.
double convolutionMultiplyAdds(const CNNNetwork& network);

}  // namespace InferenceEngine::standin
