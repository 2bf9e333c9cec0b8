#include <algorithm>
#include <span>
#include <vector>

#include "element_types.h"
#include "errors.h"
#include "operations.h"
#include "reference_kernels.h"

// Cheap data movement and odd cases (Split, Gathers of several indices, narrowing
// Converts): the reference kernels over the dense buffers of their slots.
namespace InferenceEngine::impl::onednn {

void compileLoop(Compiler& c, size_t i) {
  const Node* node = &c.graph().nodes[i];
  std::vector<size_t> slots;
  std::vector<const Shape*> inShapes;
  for (const OutputRef& ref : node->inputs) {
    slots.push_back(c.plain(ref));
    inShapes.push_back(&c.shapeOf(ref));
  }
  const size_t inputs = slots.size();
  for (size_t k = 0; k < node->outputShapes.size(); ++k) {
    const size_t slot = c.newSlot(plainDesc(node->outputShapes[k]));
    c.setOutput(i, k, slot);
    slots.push_back(slot);
  }
  const auto span = [](float* p, const Shape& s) { return std::span<float>(p, elementCount(s)); };
  const auto view = [=](std::span<float* const> b, size_t k) {
    return View{*inShapes[k], span(b[k], *inShapes[k])};
  };
  const Shape& out = node->outputShapes[0];
  switch (node->kind) {
    case OpKind::Convert:
      c.addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
        convert(std::get<ConvertAttrs>(node->attrs).destination, view(b, 0).data, span(b[1], out));
      });
      return;
    case OpKind::Add:
    case OpKind::Multiply:
      c.addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
        arithmetic(node->kind == OpKind::Add ? Arithmetic::add : Arithmetic::multiply, view(b, 0),
                   view(b, 1), out, span(b[2], out));
      });
      return;
    case OpKind::ReduceMean:  // reduces nothing but unit axes: a copy
      c.addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
        std::ranges::copy(view(b, 0).data, b[2]);
      });
      return;
    case OpKind::Interpolate: {
      const size_t scratch = interpolateScratch(*inShapes[0], out);
      c.addLoop(
          slots,
          [=](std::span<float* const> b, std::span<float> s) {
            interpolate(view(b, 0), out, span(b[inputs], out),
                        std::get<InterpolateAttrs>(node->attrs), s.first(scratch),
                        s.subspan(scratch, scratch));
          },
          2 * scratch);
      return;
    }
    case OpKind::Concat:
      c.addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
        // Kept across calls so that only the first Infer allocates it.
        thread_local std::vector<View> views;
        views.clear();
        for (size_t k = 0; k < inputs; ++k) views.push_back(view(b, k));
        concat(views, out, span(b[inputs], out), std::get<AxisAttrs>(node->attrs).axis);
      });
      return;
    case OpKind::Split:
      c.addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
        thread_local std::vector<std::span<float>> parts;
        parts.clear();
        for (size_t k = 0; k < node->outputShapes.size(); ++k)
          parts.push_back(span(b[inputs + k], node->outputShapes[k]));
        split(view(b, 0), parts, std::get<AxisAttrs>(node->attrs).axis);
      });
      return;
    case OpKind::Gather:
      c.addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
        gather(view(b, 0), view(b, 1).data, span(b[3], out), std::get<AxisAttrs>(node->attrs).axis,
               node->name);
      });
      return;
    default: fail(node->type + " '" + node->name + "' cannot run on CPU", NOT_IMPLEMENTED);
  }
}

}  // namespace InferenceEngine::impl::onednn
