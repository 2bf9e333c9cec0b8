#include <utility>
#include <vector>

#include "operations.h"

// Activations and elementwise adds and multiplies, each with what follows it as post-ops.
namespace InferenceEngine::impl::onednn {

void compileEltwise(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const Eltwise e = *eltwiseOf(node);
  const auto [src, desc] = c.compactOf(node.inputs[0]);
  const dnnl::eltwise_forward::desc d(dnnl::prop_kind::forward_inference, e.algorithm, desc,
                                      e.alpha, e.beta);
  const dnnl::eltwise_forward::primitive_desc pd(d, userScratchpad(), c.engine());
  const size_t dst = c.newSlot(pd.dst_desc());
  c.addStep(PrimitiveStep{dnnl::eltwise_forward(pd),
                          {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}},
                          pd.scratchpad_desc()});
  c.setOutput(i, 0, dst);
}

void compileBinary(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const Shape& out = node.outputShapes[0];
  OutputRef a = node.inputs[0], b = node.inputs[1];
  const size_t rank = std::max<size_t>(1, out.size());
  const auto full = [&](const OutputRef& r) {
    return toDims(c.shapeOf(r), rank) == toDims(out, rank);
  };
  if (!full(a)) std::swap(a, b);  // both operations commute
  if (!full(a)) {
    compileLoop(c, i);
    return;
  }
  const auto algorithm = binaryOf(node.kind);
  // In the layout of the first operand where it has the output's rank, with a second
  // operand of the same shape in that layout too and later operations as post-ops.
  if (c.shapeOf(a).size() == out.size() && !out.empty()) {
    const memory::desc da = c.compactDesc(a);
    const bool alike = c.shapeOf(b) == out;
    const memory::desc db = alike ? da : plainDesc(c.shapeOf(b), rank);
    const dnnl::binary::desc desc(algorithm, da, db, da);
    Chain chain = c.followChain(i, false, false);
    dnnl::binary::primitive_desc pd;
    try {
      pd = dnnl::binary::primitive_desc(desc, userScratchpad(c.postOps(chain, da, nullptr)),
                                        c.engine());
    } catch (const dnnl::error&) {
      chain = {};
      pd = dnnl::binary::primitive_desc(desc, userScratchpad(), c.engine());
    }
    std::vector<Arg> args{{DNNL_ARG_SRC_0, c.laidOut(a, da), da},
                          {DNNL_ARG_SRC_1, alike ? c.laidOut(b, da) : c.plain(b), db}};
    c.postOps(chain, da, &args);
    const size_t dst = c.newSlot(da);
    args.push_back({DNNL_ARG_DST, dst, {}});
    c.addChained(i, chain, {dnnl::binary(pd), std::move(args), pd.scratchpad_desc()}, dst);
    return;
  }
  const size_t sa = c.plain(a), sb = c.plain(b);
  const memory::desc da = plainDesc(c.shapeOf(a), rank), db = plainDesc(c.shapeOf(b), rank),
                     dd = plainDesc(out, rank);
  const dnnl::binary::primitive_desc pd(dnnl::binary::desc(algorithm, da, db, dd), userScratchpad(),
                                        c.engine());
  const size_t dst = c.newSlot(plainDesc(out));
  c.addStep(
      PrimitiveStep{dnnl::binary(pd),
                    {{DNNL_ARG_SRC_0, sa, da}, {DNNL_ARG_SRC_1, sb, db}, {DNNL_ARG_DST, dst, dd}},
                    pd.scratchpad_desc()});
  c.setOutput(i, 0, dst);
}

}  // namespace InferenceEngine::impl::onednn
