#include "executor.h"

#include <string>

#include "element_types.h"
#include "errors.h"

namespace InferenceEngine::impl::onednn {

DnnlExecutor::DnnlExecutor(std::shared_ptr<const Plan> plan)
    : plan_(std::move(plan)), stream_(plan_->engine) {
  for (size_t s = 0; s < plan_->slots.size(); ++s) {
    if (plan_->constants[s])
      memories_.push_back(*plan_->constants[s]);
    else if (const auto base = plan_->aliases[s])
      memories_.emplace_back(plan_->slots[s], plan_->engine, memories_[*base].get_data_handle());
    else
      memories_.emplace_back(plan_->slots[s], plan_->engine);
  }
  for (const memory& m : memories_) buffers_.push_back(static_cast<float*>(m.get_data_handle()));
  for (const auto& step : plan_->steps) {
    Prepared p;
    if (const auto* prim = std::get_if<PrimitiveStep>(&step)) {
      for (const Arg& a : prim->args) {
        p.held.push_back(a.view
                             ? memory(*a.view, plan_->engine, memories_[a.slot].get_data_handle())
                             : memories_[a.slot]);
        p.args.push_back({a.id, p.held.back().get()});
      }
      if (prim->scratchpad.get_size() > 0) {
        p.held.emplace_back(prim->scratchpad, plan_->engine);
        p.args.push_back({DNNL_ARG_SCRATCHPAD, p.held.back().get()});
      }
    } else {
      const LoopStep& loop = std::get<LoopStep>(step);
      p.scratch.resize(loop.scratchFloats);
      for (const size_t slot : loop.slots) p.buffers.push_back(buffers_[slot]);
    }
    prepared_.push_back(std::move(p));
  }
}

void DnnlExecutor::infer(const std::vector<Blob::Ptr>& inputs,
                         const std::vector<Blob::Ptr>& outputs) {
  const Graph& graph = *plan_->graph;
  for (size_t k = 0; k < inputs.size(); ++k) {
    const auto& blob = static_cast<const MemoryBlob&>(*inputs[k]);
    float* target = buffers_[plan_->inputSlots[k]];
    readAsFloat(blob.getTensorDesc().getPrecision(), blob.rmap().as<const void*>(), blob.size(),
                target);
    const ElementType type = graph.nodes[graph.parameters[k]].outputTypes[0];
    if (!holdsEvery(type, blob.getTensorDesc().getPrecision()))
      for (size_t i = 0; i < blob.size(); ++i) target[i] = castTo(type, target[i]);
  }
  const ThreadCount threads(plan_->threads);
  for (size_t s = 0; s < plan_->steps.size(); ++s) {
    Prepared& p = prepared_[s];
    if (const auto* prim = std::get_if<PrimitiveStep>(&plan_->steps[s])) {
      // The C call takes prepared arguments; the C++ wrapper would build a vector per call.
      const dnnl_status_t status = dnnl_primitive_execute(prim->primitive.get(), stream_.get(),
                                                          int(p.args.size()), p.args.data());
      if (status != dnnl_success)
        fail("oneDNN primitive failed with status " + std::to_string(int(status)));
    } else {
      std::get<LoopStep>(plan_->steps[s]).run(p.buffers, p.scratch);
    }
  }
  stream_.wait();
  for (size_t k = 0; k < outputs.size(); ++k) {
    auto& blob = static_cast<MemoryBlob&>(*outputs[k]);
    writeFromFloat(blob.getTensorDesc().getPrecision(), buffers_[plan_->outputSlots[k]],
                   blob.size(), blob.wmap().as<void*>());
  }
}

}  // namespace InferenceEngine::impl::onednn
