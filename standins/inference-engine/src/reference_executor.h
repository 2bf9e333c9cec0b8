#pragma once

#include <memory>
#include <vector>

#include "graph.h"

namespace InferenceEngine::impl {

// Runs a shape-checked graph with plain loops over float tensors in row-major order. It is
// the oracle for faster executors, so it favours being obviously right over speed.
class ReferenceExecutor {
 public:
  explicit ReferenceExecutor(std::shared_ptr<const Graph> graph);

  // Values of the graph's Parameter with this ordinal, already in its element type's range.
  std::vector<float>& input(size_t parameterOrdinal);
  const std::vector<float>& output(size_t resultOrdinal) const;
  void run();

 private:
  std::shared_ptr<const Graph> graph_;
  std::vector<std::vector<std::vector<float>>> values_;  // per node, per output
};

}  // namespace InferenceEngine::impl
