#include <cmath>
#include <vector>

#include "operations.h"

// Gather of one constant index as a strided view of its input, and Concat as a oneDNN
// concatenation in its first input's order of axes.
namespace InferenceEngine::impl::onednn {

void compileGather(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const Node& indices = c.graph().nodes[node.inputs[1].node];
  const OutputRef data = node.inputs[0];
  const Shape& in = c.shapeOf(data);
  const size_t axis = std::get<AxisAttrs>(node.attrs).axis;
  const Shape& out = node.outputShapes[0];
  const memory::desc& desc = c.descOf(data);
  if (indices.kind != OpKind::Const || indices.constant->size() != 1 || in.empty() || out.empty() ||
      out.size() > 6 || !unblocked(desc) || memory::dims(desc.dims()) != toDims(in)) {
    compileLoop(c, i);
    return;
  }
  const float raw = indices.constant->front();
  const float dim = float(in[axis]);
  if (!(raw >= -dim && raw < dim) || raw != std::trunc(raw)) {
    compileLoop(c, i);  // raises when run, as the reference does
    return;
  }
  const size_t index = raw < 0 ? size_t(raw + dim) : size_t(raw);
  const memory::dims s = stridesOf(desc);
  // Axes before the gathered one, the indices' unit axes, then the axes after it.
  memory::dims strides(s.begin(), s.begin() + ptrdiff_t(axis));
  strides.resize(out.size() - (in.size() - axis - 1), s[axis]);
  strides.insert(strides.end(), s.begin() + ptrdiff_t(axis) + 1, s.end());
  const memory::desc view =
      strided(toDims(out), strides, desc.data.offset0 + memory::dim(index) * s[axis]);
  const size_t base = c.aliasOf(c.slotOf(data)).value_or(c.slotOf(data));
  c.setOutput(i, 0, c.newSlot(view, base));
}

void compileConcat(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const Shape& out = node.outputShapes[0];
  std::vector<memory::desc> sources;
  std::vector<Arg> args;
  for (size_t k = 0; k < node.inputs.size(); ++k) {
    const OutputRef& ref = node.inputs[k];
    if (c.shapeOf(ref).size() != out.size() || out.empty()) {
      compileLoop(c, i);
      return;
    }
    sources.push_back(c.descOf(ref));
    args.push_back({DNNL_ARG_MULTIPLE_SRC + int(k), c.slotOf(ref), {}});
  }
  // In the first input's order of axes; oneDNN's own choice is poor for views.
  const dnnl::concat::primitive_desc pd(denseLike(toDims(out), sources[0]),
                                        int(std::get<AxisAttrs>(node.attrs).axis), sources,
                                        c.engine(), userScratchpad());
  const size_t dst = c.newSlot(pd.dst_desc());
  args.push_back({DNNL_ARG_DST, dst, {}});
  c.addStep(PrimitiveStep{dnnl::concat(pd), std::move(args), pd.scratchpad_desc()});
  c.setOutput(i, 0, dst);
}

// oneDNN's linear resampling is half-pixel interpolation over the spatial axes, with the

}  // namespace InferenceEngine::impl::onednn
