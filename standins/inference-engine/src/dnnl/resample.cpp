#include "operations.h"

// Interpolate: half-pixel linear interpolation is oneDNN's linear resampling.
namespace InferenceEngine::impl::onednn {

void compileResample(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const InterpolateAttrs& a = std::get<InterpolateAttrs>(node.attrs);
  const Shape& in = c.shapeOf(node.inputs[0]);
  const Shape& out = node.outputShapes[0];
  bool fits = a.coordinates == CoordinateMode::half_pixel && in.size() >= 3 && in.size() <= 5 &&
              in[0] == out[0] && in[1] == out[1] && a.scales[0] == 1.0f && a.scales[1] == 1.0f;
  for (size_t k = 2; fits && k < in.size(); ++k) fits = a.scales[k] == float(out[k]) / float(in[k]);
  if (!fits) {
    compileLoop(c, i);
    return;
  }
  const auto [src, desc] = c.compactOf(node.inputs[0]);
  const dnnl::resampling_forward::desc d(dnnl::prop_kind::forward_inference,
                                         dnnl::algorithm::resampling_linear, desc,
                                         anyDesc(toDims(out)));
  const dnnl::resampling_forward::primitive_desc pd(d, userScratchpad(), c.engine());
  const size_t dst = c.newSlot(pd.dst_desc());
  c.addStep(PrimitiveStep{dnnl::resampling_forward(pd),
                          {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}},
                          pd.scratchpad_desc()});
  c.setOutput(i, 0, dst);
}

}  // namespace InferenceEngine::impl::onednn
