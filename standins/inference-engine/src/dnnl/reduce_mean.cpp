#include <algorithm>

#include "operations.h"

// ReduceMean: global average pooling over all spatial axes, else a oneDNN reduction.
namespace InferenceEngine::impl::onednn {

void compileReduceMean(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const ReduceAttrs& a = std::get<ReduceAttrs>(node.attrs);
  const Shape& in = c.shapeOf(node.inputs[0]);
  Shape kept = in;
  bool any = false;
  for (size_t k = 0; k < in.size(); ++k)
    if (a.reduced[k]) {
      kept[k] = 1;
      any = any || in[k] != 1;
    }
  if (!any) {
    compileLoop(c, i);
    return;
  }
  const auto mean = dnnl::algorithm::reduction_mean;
  if (kept == node.outputShapes[0] && in.size() >= 3 && in.size() <= 5 && !a.reduced[0] &&
      !a.reduced[1] &&
      std::all_of(a.reduced.begin() + 2, a.reduced.end(), [](bool r) { return r; })) {
    // The mean over all spatial axes is global average pooling, which oneDNN does well
    // in any layout.
    const auto [src, desc] = c.compactOf(node.inputs[0]);
    const memory::dims window(in.begin() + 2, in.end()), zeros(in.size() - 2, 0);
    const dnnl::pooling_forward::desc d(dnnl::prop_kind::forward_inference,
                                        dnnl::algorithm::pooling_avg_exclude_padding, desc,
                                        anyDesc(toDims(kept)), window, window, zeros, zeros);
    const dnnl::pooling_forward::primitive_desc pd(d, userScratchpad(), c.engine());
    const size_t dst = c.newSlot(pd.dst_desc());
    c.addStep(PrimitiveStep{dnnl::pooling_forward(pd),
                            {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}},
                            pd.scratchpad_desc()});
    c.setOutput(i, 0, dst);
    return;
  }
  if (kept == node.outputShapes[0]) {
    // Kept axes: the output takes the input's layout.
    const auto [src, desc] = c.compactOf(node.inputs[0]);
    const dnnl::reduction::primitive_desc pd(
        dnnl::reduction::desc(mean, desc, anyDesc(toDims(kept)), 0.0f, 0.0f), userScratchpad(),
        c.engine());
    const size_t dst = c.newSlot(pd.dst_desc());
    c.addStep(PrimitiveStep{dnnl::reduction(pd),
                            {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}},
                            pd.scratchpad_desc()});
    c.setOutput(i, 0, dst);
    return;
  }
  const size_t src = c.plain(node.inputs[0]);
  const memory::desc dd = plainDesc(kept);
  const dnnl::reduction::primitive_desc pd(
      dnnl::reduction::desc(mean, c.slotDesc(src), dd, 0.0f, 0.0f), userScratchpad(), c.engine());
  const size_t dst = c.newSlot(plainDesc(node.outputShapes[0]));
  c.addStep(PrimitiveStep{dnnl::reduction(pd),
                          {{DNNL_ARG_SRC, src, {}}, {DNNL_ARG_DST, dst, dd}},
                          pd.scratchpad_desc()});
  c.setOutput(i, 0, dst);
}

}  // namespace InferenceEngine::impl::onednn
