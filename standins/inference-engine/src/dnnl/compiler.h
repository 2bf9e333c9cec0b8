#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "plan.h"

// Compiles a network's graph into a Plan: keeps which slot holds each node's output, lays
// tensors out as primitives want them (reordered copies made once), and joins the
// operations that oneDNN can apply inside a primitive as its post-ops. Each operation family
// compiles itself in its own file (operations.h) through this class. One thread.
namespace InferenceEngine::impl::onednn {

// An activation as oneDNN names it.
struct Eltwise {
  dnnl::algorithm algorithm;
  float alpha, beta;
};
std::optional<Eltwise> eltwiseOf(const Node& node);
dnnl::algorithm binaryOf(OpKind kind);

// An operation that oneDNN applies inside the primitive before it.
struct PostOp {
  std::optional<Eltwise> eltwise;
  dnnl::algorithm binary = dnnl::algorithm::undef;
  OutputRef other;
  bool full = false;  // other has the output's shape
};

// The single consumers of a node that join its primitive.
struct Chain {
  std::vector<size_t> nodes;  // joined, in order
  std::vector<PostOp> ops;
  const std::vector<float>* bias = nullptr;  // per output channel
};

using LoopBody = std::function<void(std::span<float* const>, std::span<float>)>;

class Compiler {
 public:
  explicit Compiler(Plan& plan);
  void compile();

  const Graph& graph() const { return graph_; }
  const dnnl::engine& engine() const { return plan_.engine; }

  const Shape& shapeOf(const OutputRef& ref) const {
    return graph_.nodes[ref.node].outputShapes[ref.port];
  }
  size_t slotOf(const OutputRef& ref) const { return slotOf_[ref.node][ref.port]; }
  const memory::desc& descOf(const OutputRef& ref) const { return plan_.slots[slotOf(ref)]; }
  const memory::desc& slotDesc(size_t slot) const { return plan_.slots[slot]; }
  // The slot whose buffer this one views, if any.
  std::optional<size_t> aliasOf(size_t slot) const { return plan_.aliases[slot]; }
  void setOutput(size_t node, size_t port, size_t slot) { slotOf_[node][port] = slot; }

  size_t newSlot(const memory::desc& desc, std::optional<size_t> alias = std::nullopt);
  size_t constantSlot(const memory::desc& desc, const float* values);
  // Constant weights, reordered once into the layout that the primitive chose.
  size_t weightsSlot(const memory::desc& chosen, const memory::desc& given, const float* values);

  // The tensor laid out as `want`: its own slot when its elements already lie so, else a copy
  // reordered once.
  size_t laidOut(const OutputRef& ref, const memory::desc& want);
  // The tensor in dense row-major order.
  size_t plain(const OutputRef& ref) { return laidOut(ref, plainDesc(shapeOf(ref))); }
  // The tensor in a buffer that holds nothing else: in its own layout if it can, else row-major.
  memory::desc compactDesc(const OutputRef& ref) const;
  std::pair<size_t, memory::desc> compactOf(const OutputRef& ref);

  void addStep(PrimitiveStep step) { plan_.steps.push_back(std::move(step)); }
  void reorder(size_t from, size_t to, const std::optional<memory::desc>& fromView = {},
               const std::optional<memory::desc>& toView = {});
  void addLoop(std::vector<size_t> slots, LoopBody body, size_t scratchFloats = 0);

  // The single consumers of node i that oneDNN can apply inside it. With scalarsOnly, only
  // operands of one element (and a bias) join, for a primitive whose output is not yet in the
  // node's shape; with takesBias, a first per-channel constant Add is taken as a bias.
  Chain followChain(size_t i, bool scalarsOnly, bool takesBias) const;
  // The chain's post-ops, with operands of the output's shape given in the layout `full`; with
  // args, also their arguments.
  dnnl::post_ops postOps(const Chain& chain, const memory::desc& full, std::vector<Arg>* args);
  // The primitive's step; its output stands for the chain's last node.
  void addChained(size_t i, const Chain& chain, const PrimitiveStep& step, size_t dst);

 private:
  struct Use {
    size_t node, input;
  };

  void compileNode(size_t i);
  bool perChannel(const Shape& other, const Shape& out) const;

  Plan& plan_;
  const Graph& graph_;
  dnnl::stream stream_;
  std::vector<std::vector<size_t>> slotOf_;
  std::vector<std::vector<std::vector<std::pair<memory::desc, size_t>>>>
      copies_;  // reordered copies
  std::vector<std::vector<std::vector<Use>>> consumers_;
  std::vector<bool> fused_;
};

}  // namespace InferenceEngine::impl::onednn
