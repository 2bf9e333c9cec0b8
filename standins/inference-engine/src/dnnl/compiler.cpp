#include "compiler.h"

#include <algorithm>

#include "errors.h"
#include "operations.h"
#include "shape_inference.h"

namespace InferenceEngine::impl::onednn {

std::optional<Eltwise> eltwiseOf(const Node& node) {
  switch (node.kind) {
    case OpKind::Relu: return Eltwise{dnnl::algorithm::eltwise_relu, 0.0f, 0.0f};
    case OpKind::HSwish: return Eltwise{dnnl::algorithm::eltwise_hardswish, 0.0f, 0.0f};
    case OpKind::Sigmoid: return Eltwise{dnnl::algorithm::eltwise_logistic, 0.0f, 0.0f};
    case OpKind::Clamp: {
      const ClampAttrs a = std::get<ClampAttrs>(node.attrs);
      return Eltwise{dnnl::algorithm::eltwise_clip, a.min, a.max};
    }
    default: return std::nullopt;
  }
}

dnnl::algorithm binaryOf(OpKind kind) {
  return kind == OpKind::Add ? dnnl::algorithm::binary_add : dnnl::algorithm::binary_mul;
}

Compiler::Compiler(Plan& plan) : plan_(plan), graph_(*plan.graph), stream_(plan.engine) {
  slotOf_.resize(graph_.nodes.size());
  copies_.resize(graph_.nodes.size());
  consumers_.resize(graph_.nodes.size());
  for (size_t i = 0; i < graph_.nodes.size(); ++i) {
    slotOf_[i].assign(graph_.nodes[i].outputShapes.size(), kNoSlot);
    copies_[i].resize(graph_.nodes[i].outputShapes.size());
    consumers_[i].resize(graph_.nodes[i].outputShapes.size());
  }
  for (size_t i = 0; i < graph_.nodes.size(); ++i)
    for (size_t k = 0; k < graph_.nodes[i].inputs.size(); ++k) {
      const OutputRef& ref = graph_.nodes[i].inputs[k];
      consumers_[ref.node][ref.port].push_back({i, k});
    }
  fused_.assign(graph_.nodes.size(), false);
}

void Compiler::compile() {
  for (size_t i = 0; i < graph_.nodes.size(); ++i)
    if (!fused_[i]) compileNode(i);
  for (const size_t p : graph_.parameters) plan_.inputSlots.push_back(slotOf_[p][0]);
  for (const size_t r : graph_.results) plan_.outputSlots.push_back(slotOf_[r][0]);
  stream_.wait();
}

size_t Compiler::newSlot(const memory::desc& desc, std::optional<size_t> alias) {
  plan_.slots.push_back(desc);
  plan_.constants.emplace_back();
  plan_.aliases.push_back(alias);
  return plan_.slots.size() - 1;
}

size_t Compiler::constantSlot(const memory::desc& desc, const float* values) {
  const size_t slot = newSlot(desc);
  memory m(desc, plan_.engine);
  std::copy(values, values + desc.get_size() / sizeof(float),
            static_cast<float*>(m.get_data_handle()));
  plan_.constants[slot] = m;
  return slot;
}

size_t Compiler::weightsSlot(const memory::desc& chosen, const memory::desc& given,
                             const float* values) {
  memory source(given, plan_.engine, const_cast<float*>(values));
  memory weights(chosen, plan_.engine);
  dnnl::reorder(source, weights).execute(stream_, source, weights);
  stream_.wait();
  const size_t slot = newSlot(chosen);
  plan_.constants[slot] = weights;
  return slot;
}

size_t Compiler::laidOut(const OutputRef& ref, const memory::desc& want) {
  const size_t slot = slotOf(ref);
  if (sameLayout(plan_.slots[slot], want)) return slot;
  auto& copies = copies_[ref.node][ref.port];
  for (const auto& [desc, copy] : copies)
    if (sameLayout(desc, want)) return copy;
  const size_t copy = newSlot(want);
  reorder(slot, copy);
  copies.emplace_back(want, copy);
  return copy;
}

memory::desc Compiler::compactDesc(const OutputRef& ref) const {
  return compact(descOf(ref)) ? descOf(ref) : plainDesc(shapeOf(ref));
}

std::pair<size_t, memory::desc> Compiler::compactOf(const OutputRef& ref) {
  const memory::desc desc = compactDesc(ref);
  return {laidOut(ref, desc), desc};
}

void Compiler::reorder(size_t from, size_t to, const std::optional<memory::desc>& fromView,
                       const std::optional<memory::desc>& toView) {
  const dnnl::reorder::primitive_desc pd(plan_.engine, fromView.value_or(plan_.slots[from]),
                                         plan_.engine, toView.value_or(plan_.slots[to]),
                                         userScratchpad());
  plan_.steps.push_back(PrimitiveStep{dnnl::reorder(pd),
                                      {{DNNL_ARG_FROM, from, fromView}, {DNNL_ARG_TO, to, toView}},
                                      pd.scratchpad_desc()});
}

void Compiler::addLoop(std::vector<size_t> slots, LoopBody body, size_t scratchFloats) {
  plan_.steps.push_back(LoopStep{std::move(slots), std::move(body), scratchFloats});
}

void Compiler::compileNode(size_t i) {
  const Node& node = graph_.nodes[i];
  switch (node.kind) {
    case OpKind::Parameter: slotOf_[i][0] = newSlot(plainDesc(node.outputShapes[0])); return;
    case OpKind::Const: {
      slotOf_[i][0] = constantSlot(plainDesc(node.outputShapes[0]), node.constant->data());
      return;
    }
    case OpKind::Convert:
      // Values are held as floats already; only a narrower type changes them.
      if (std::get<ConvertAttrs>(node.attrs).destination == ElementType::f32)
        slotOf_[i][0] = slotOf(node.inputs[0]);
      else
        compileLoop(*this, i);
      return;
    case OpKind::Convolution:
    case OpKind::GroupConvolution:
    case OpKind::ConvolutionBackpropData: compileConvolution(*this, i); return;
    case OpKind::Relu:
    case OpKind::HSwish:
    case OpKind::Sigmoid:
    case OpKind::Clamp: compileEltwise(*this, i); return;
    case OpKind::Add:
    case OpKind::Multiply: compileBinary(*this, i); return;
    case OpKind::ReduceMean: compileReduceMean(*this, i); return;
    case OpKind::Gather: compileGather(*this, i); return;
    case OpKind::Concat: compileConcat(*this, i); return;
    case OpKind::Interpolate: compileResample(*this, i); return;
    case OpKind::Result: slotOf_[i][0] = plain(node.inputs[0]); return;
    default: compileLoop(*this, i); return;
  }
}

bool Compiler::perChannel(const Shape& other, const Shape& out) const {
  if (other.size() > out.size() || out.size() < 2) return false;
  const memory::dims d = toDims(other, out.size());
  for (size_t k = 0; k < d.size(); ++k)
    if (d[k] != (k == 1 ? memory::dim(out[1]) : 1)) return false;
  return true;
}

// The single consumers of node i that oneDNN can apply inside it. With scalarsOnly, only
// operands of one element (and a bias) join, for a primitive whose output is not yet in the

Chain Compiler::followChain(size_t i, bool scalarsOnly, bool takesBias) const {
  const Shape& out = graph_.nodes[i].outputShapes[0];
  Chain chain;
  size_t last = i;
  while (true) {
    const auto& uses = consumers_[last][0];
    if (uses.size() != 1) break;
    const Node& next = graph_.nodes[uses[0].node];
    if (next.outputShapes.size() != 1 || next.outputShapes[0] != out) break;
    if (const auto e = eltwiseOf(next)) {
      chain.ops.push_back({e, dnnl::algorithm::undef, {}, false});
    } else if (next.kind == OpKind::Add || next.kind == OpKind::Multiply) {
      const OutputRef other = next.inputs[1 - uses[0].input];
      const Node& otherNode = graph_.nodes[other.node];
      const Shape& shape = shapeOf(other);
      // Only a tensor already computed when the primitive runs can join it.
      if (other.node >= i || broadcastShapes(shape, out) != out) break;
      if (takesBias && next.kind == OpKind::Add && chain.ops.empty() && !chain.bias &&
          otherNode.kind == OpKind::Const && perChannel(shape, out)) {
        chain.bias = otherNode.constant.get();
      } else {
        if (scalarsOnly && elementCount(shape) != 1) break;
        chain.ops.push_back(
            {std::nullopt, binaryOf(next.kind), other, toDims(shape, out.size()) == toDims(out)});
      }
    } else {
      break;
    }
    last = uses[0].node;
    chain.nodes.push_back(last);
  }
  return chain;
}

// The chain's post-ops, with operands of the output's shape given in the layout `full`; with

dnnl::post_ops Compiler::postOps(const Chain& chain, const memory::desc& full,
                                 std::vector<Arg>* args) {
  dnnl::post_ops ops;
  for (const PostOp& op : chain.ops) {
    if (op.eltwise) {
      ops.append_eltwise(1.0f, op.eltwise->algorithm, op.eltwise->alpha, op.eltwise->beta);
      continue;
    }
    const memory::desc view = op.full ? full : plainDesc(shapeOf(op.other), full.dims().size());
    ops.append_binary(op.binary, view);
    if (args)
      args->push_back({DNNL_ARG_ATTR_MULTIPLE_POST_OP(ops.len() - 1) | DNNL_ARG_SRC_1,
                       op.full ? laidOut(op.other, full) : plain(op.other), view});
  }
  return ops;
}

void Compiler::addChained(size_t i, const Chain& chain, const PrimitiveStep& step, size_t dst) {
  plan_.steps.push_back(step);
  for (const size_t n : chain.nodes) fused_[n] = true;
  slotOf_[chain.nodes.empty() ? i : chain.nodes.back()][0] = dst;
}

}  // namespace InferenceEngine::impl::onednn
