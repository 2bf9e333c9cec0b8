#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "memory_layout.h"

// What a network compiles to: buffers ("slots") and the steps that run over them, fixed once
// when the network is loaded and only run per request.
namespace InferenceEngine::impl::onednn {

inline constexpr size_t kNoSlot = std::numeric_limits<size_t>::max();

struct Arg {
  int id;
  size_t slot;
  std::optional<memory::desc> view;  // another description of the slot's buffer
};

struct PrimitiveStep {
  dnnl::primitive primitive;
  std::vector<Arg> args;
  memory::desc scratchpad;
};

// An operation run by plain loops over the dense buffers of its slots.
struct LoopStep {
  std::vector<size_t> slots;  // inputs, then outputs
  std::function<void(std::span<float* const> buffers, std::span<float> scratch)> run;
  size_t scratchFloats = 0;
};

struct Plan {
  dnnl::engine engine{dnnl::engine::kind::cpu, 0};
  std::shared_ptr<const Graph> graph;
  std::vector<memory::desc> slots;
  std::vector<std::optional<memory>> constants;  // per slot; set for constant data
  std::vector<std::optional<size_t>> aliases;  // per slot; set when it views another slot's buffer
  std::vector<std::variant<PrimitiveStep, LoopStep>> steps;
  std::vector<size_t> inputSlots, outputSlots;
  size_t threads = 1;
};

}  // namespace InferenceEngine::impl::onednn
