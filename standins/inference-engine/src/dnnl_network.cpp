#include "dnnl_network.h"

#include <functional>
#include <limits>
#include <optional>
#include <variant>

#include <omp.h>

#include <oneapi/dnnl/dnnl.hpp>

#include "element_types.h"
#include "errors.h"
#include "reference_kernels.h"
#include "shape_inference.h"

namespace InferenceEngine::impl {

namespace {

using dnnl::memory;
using Tag = memory::format_tag;
constexpr size_t none = std::numeric_limits<size_t>::max();

memory::dims toDims(const Shape& shape, size_t rank = 0) {
    memory::dims dims(std::max<size_t>(1, std::max(rank, shape.size())) - shape.size(), 1);
    dims.insert(dims.end(), shape.begin(), shape.end());
    return dims;
}

memory::desc plainDesc(const Shape& shape, size_t rank = 0) {
    static const Tag tags[] = {Tag::a, Tag::ab, Tag::abc, Tag::abcd, Tag::abcde, Tag::abcdef};
    const memory::dims dims = toDims(shape, rank);
    if (dims.size() > 6)
        fail("tensors of rank above 6 are not supported", NOT_IMPLEMENTED);
    return memory::desc(dims, memory::data_type::f32, tags[dims.size() - 1]);
}

struct Arg {
    int id;
    size_t slot;
    std::optional<memory::desc> view;  // a reshaped view of the slot's buffer
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
    std::vector<std::variant<PrimitiveStep, LoopStep>> steps;
    std::vector<size_t> inputSlots, outputSlots;
    size_t threads = 1;
};

dnnl::primitive_attr userScratchpad(const dnnl::post_ops& ops = {}) {
    dnnl::primitive_attr attr;
    attr.set_scratchpad_mode(dnnl::scratchpad_mode::user);
    attr.set_post_ops(ops);
    return attr;
}

class Compiler {
public:
    explicit Compiler(Plan& plan) : plan_(plan), graph_(*plan.graph), stream_(plan.engine) {
        slotOf_.resize(graph_.nodes.size());
        plainOf_.resize(graph_.nodes.size());
        consumers_.resize(graph_.nodes.size());
        for (size_t i = 0; i < graph_.nodes.size(); ++i) {
            slotOf_[i].assign(graph_.nodes[i].outputShapes.size(), none);
            plainOf_[i].assign(graph_.nodes[i].outputShapes.size(), none);
            consumers_[i].resize(graph_.nodes[i].outputShapes.size());
        }
        for (size_t i = 0; i < graph_.nodes.size(); ++i)
            for (size_t k = 0; k < graph_.nodes[i].inputs.size(); ++k) {
                const OutputRef& ref = graph_.nodes[i].inputs[k];
                consumers_[ref.node][ref.port].push_back({i, k});
            }
        fused_.assign(graph_.nodes.size(), false);
    }

    void compile() {
        for (size_t i = 0; i < graph_.nodes.size(); ++i)
            if (!fused_[i])
                compileNode(i);
        for (const size_t p : graph_.parameters)
            plan_.inputSlots.push_back(slotOf_[p][0]);
        for (const size_t r : graph_.results)
            plan_.outputSlots.push_back(slotOf_[r][0]);
        stream_.wait();
    }

private:
    struct Use {
        size_t node, input;
    };

    const Shape& shapeOf(const OutputRef& ref) const { return graph_.nodes[ref.node].outputShapes[ref.port]; }

    size_t newSlot(const memory::desc& desc) {
        plan_.slots.push_back(desc);
        plan_.constants.emplace_back();
        return plan_.slots.size() - 1;
    }

    // The tensor in dense row-major order, reordered once if its producer chose another format.
    size_t plain(const OutputRef& ref) {
        size_t& cached = plainOf_[ref.node][ref.port];
        if (cached != none)
            return cached;
        const size_t slot = slotOf_[ref.node][ref.port];
        const memory::desc want = plainDesc(shapeOf(ref));
        if (plan_.slots[slot] == want)
            return cached = slot;
        cached = newSlot(want);
        reorder(slot, cached);
        return cached;
    }

    void reorder(size_t from, size_t to) {
        const dnnl::reorder::primitive_desc pd(plan_.engine, plan_.slots[from], plan_.engine, plan_.slots[to],
                                               userScratchpad());
        plan_.steps.push_back(PrimitiveStep{dnnl::reorder(pd), {{DNNL_ARG_FROM, from, {}}, {DNNL_ARG_TO, to, {}}},
                                            pd.scratchpad_desc()});
    }

    void addLoop(std::vector<size_t> slots, std::function<void(std::span<float* const>, std::span<float>)> body,
                 size_t scratchFloats = 0) {
        plan_.steps.push_back(LoopStep{std::move(slots), std::move(body), scratchFloats});
    }

    void compileNode(size_t i) {
        const Node& node = graph_.nodes[i];
        switch (node.kind) {
        case OpKind::Parameter: slotOf_[i][0] = newSlot(plainDesc(node.outputShapes[0])); return;
        case OpKind::Const: {
            const size_t slot = newSlot(plainDesc(node.outputShapes[0]));
            memory m(plan_.slots[slot], plan_.engine);
            std::copy(node.constant->begin(), node.constant->end(), static_cast<float*>(m.get_data_handle()));
            plan_.constants[slot] = m;
            slotOf_[i][0] = slot;
            return;
        }
        case OpKind::Convolution:
        case OpKind::GroupConvolution:
        case OpKind::ConvolutionBackpropData: convolution(i); return;
        case OpKind::Relu:
        case OpKind::HSwish:
        case OpKind::Sigmoid:
        case OpKind::Clamp: eltwise(i); return;
        case OpKind::Add:
        case OpKind::Multiply: binary(i); return;
        case OpKind::ReduceMean: reduceMean(i); return;
        case OpKind::Result: slotOf_[i][0] = plain(node.inputs[0]); return;
        default: loopNode(i); return;
        }
    }

    static std::optional<std::pair<dnnl::algorithm, std::pair<float, float>>> eltwiseOf(const Node& node) {
        switch (node.kind) {
        case OpKind::Relu: return std::pair{dnnl::algorithm::eltwise_relu, std::pair{0.0f, 0.0f}};
        case OpKind::HSwish: return std::pair{dnnl::algorithm::eltwise_hardswish, std::pair{0.0f, 0.0f}};
        case OpKind::Sigmoid: return std::pair{dnnl::algorithm::eltwise_logistic, std::pair{0.0f, 0.0f}};
        case OpKind::Clamp: {
            const ClampAttrs a = std::get<ClampAttrs>(node.attrs);
            return std::pair{dnnl::algorithm::eltwise_clip, std::pair{a.min, a.max}};
        }
        default: return std::nullopt;
        }
    }

    bool perChannel(const Shape& other, const Shape& out) const {
        if (other.size() > out.size() || out.size() < 2)
            return false;
        const memory::dims d = toDims(other, out.size());
        for (size_t k = 0; k < d.size(); ++k)
            if (d[k] != (k == 1 ? memory::dim(out[1]) : 1))
                return false;
        return true;
    }

    void convolution(size_t i) {
        const Node& node = graph_.nodes[i];
        const Node& weightsNode = graph_.nodes[node.inputs[1].node];
        if (weightsNode.kind != OpKind::Const)
            fail(node.name + ": weights that are not constant are not supported on CPU", NOT_IMPLEMENTED);
        const ConvAttrs& a = std::get<ConvAttrs>(node.attrs);
        const Shape& out = node.outputShapes[0];

        // Follow the chain of single consumers that oneDNN can apply inside the convolution.
        dnnl::post_ops ops;
        std::vector<Arg> postArgs;
        std::optional<memory> bias;
        size_t last = i;
        while (true) {
            const auto& uses = consumers_[last][0];
            if (uses.size() != 1)
                break;
            const Node& next = graph_.nodes[uses[0].node];
            if (next.outputShapes.size() != 1 || next.outputShapes[0] != out)
                break;
            if (const auto e = eltwiseOf(next)) {
                ops.append_eltwise(1.0f, e->first, e->second.first, e->second.second);
            } else if (next.kind == OpKind::Add || next.kind == OpKind::Multiply) {
                const OutputRef other = next.inputs[1 - uses[0].input];
                const Node& otherNode = graph_.nodes[other.node];
                // Only a tensor already computed when the convolution runs can join it.
                if (other.node >= i || broadcastShapes(shapeOf(other), out) != out)
                    break;
                if (next.kind == OpKind::Add && ops.len() == 0 && !bias && otherNode.kind == OpKind::Const &&
                    perChannel(shapeOf(other), out)) {
                    bias = memory(memory::desc({memory::dim(out[1])}, memory::data_type::f32, Tag::a), plan_.engine);
                    std::copy(otherNode.constant->begin(), otherNode.constant->end(),
                              static_cast<float*>(bias->get_data_handle()));
                } else {
                    const memory::desc view = plainDesc(shapeOf(other), out.size());
                    ops.append_binary(next.kind == OpKind::Add ? dnnl::algorithm::binary_add : dnnl::algorithm::binary_mul,
                                      view);
                    postArgs.push_back({DNNL_ARG_ATTR_MULTIPLE_POST_OP(ops.len() - 1) | DNNL_ARG_SRC_1, plain(other), view});
                }
            } else {
                break;
            }
            last = uses[0].node;
            fused_[last] = true;
        }

        const OutputRef input = node.inputs[0];
        const Shape& in = shapeOf(input);
        const Shape& w = weightsNode.outputShapes[0];
        const memory::dims strides{memory::dim(a.strides[0]), memory::dim(a.strides[1])};
        const memory::dims dilates{memory::dim(a.dilations[0]) - 1, memory::dim(a.dilations[1]) - 1};
        const memory::dims padL{memory::dim(a.padBegin[0]), memory::dim(a.padBegin[1])};
        const memory::dims padR{memory::dim(a.padEnd[0]), memory::dim(a.padEnd[1])};
        const auto anyDesc = [](const memory::dims& d) { return memory::desc(d, memory::data_type::f32, Tag::any); };
        const memory::desc srcAny = anyDesc(toDims(in)), dstAny = anyDesc(toDims(out));
        const memory::desc biasDesc = bias ? bias->get_desc() : memory::desc();
        const dnnl::primitive_attr attr = userScratchpad(ops);

        memory::dims weightDims;
        Tag plainWeights;
        dnnl::primitive primitive;
        memory::desc srcDesc, weightsDesc, dstDesc, scratch;
        if (node.kind == OpKind::ConvolutionBackpropData) {
            // IR weights are (in, out, kh, kw); oneDNN names them (out, in, kh, kw).
            weightDims = {memory::dim(w[1]), memory::dim(w[0]), memory::dim(w[2]), memory::dim(w[3])};
            plainWeights = Tag::iohw;
            const memory::desc weightsAny = anyDesc(weightDims);
            const auto desc = bias ? dnnl::deconvolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                                       dnnl::algorithm::deconvolution_direct, srcAny,
                                                                       weightsAny, biasDesc, dstAny, strides, dilates, padL, padR)
                                   : dnnl::deconvolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                                       dnnl::algorithm::deconvolution_direct, srcAny,
                                                                       weightsAny, dstAny, strides, dilates, padL, padR);
            const dnnl::deconvolution_forward::primitive_desc pd(desc, attr, plan_.engine);
            primitive = dnnl::deconvolution_forward(pd);
            srcDesc = pd.src_desc(), weightsDesc = pd.weights_desc(), dstDesc = pd.dst_desc(), scratch = pd.scratchpad_desc();
        } else {
            const bool grouped = node.kind == OpKind::GroupConvolution;
            weightDims = memory::dims(w.begin(), w.end());
            plainWeights = grouped ? Tag::goihw : Tag::oihw;
            const memory::desc weightsAny = anyDesc(weightDims);
            const auto desc = bias ? dnnl::convolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                                     dnnl::algorithm::convolution_direct, srcAny, weightsAny,
                                                                     biasDesc, dstAny, strides, dilates, padL, padR)
                                   : dnnl::convolution_forward::desc(dnnl::prop_kind::forward_inference,
                                                                     dnnl::algorithm::convolution_direct, srcAny, weightsAny,
                                                                     dstAny, strides, dilates, padL, padR);
            const dnnl::convolution_forward::primitive_desc pd(desc, attr, plan_.engine);
            primitive = dnnl::convolution_forward(pd);
            srcDesc = pd.src_desc(), weightsDesc = pd.weights_desc(), dstDesc = pd.dst_desc(), scratch = pd.scratchpad_desc();
        }

        // Weights are reordered into the chosen format once, here.
        const memory::desc given(weightDims, memory::data_type::f32, plainWeights);
        memory source(given, plan_.engine, const_cast<float*>(weightsNode.constant->data()));
        memory weights(weightsDesc, plan_.engine);
        dnnl::reorder(source, weights).execute(stream_, source, weights);
        stream_.wait();
        const size_t weightsSlot = newSlot(weightsDesc);
        plan_.constants[weightsSlot] = weights;

        size_t srcSlot = slotOf_[input.node][input.port];
        if (plan_.slots[srcSlot] != srcDesc) {
            const size_t converted = newSlot(srcDesc);
            reorder(srcSlot, converted);
            srcSlot = converted;
        }
        const size_t dstSlot = newSlot(dstDesc);
        std::vector<Arg> args{{DNNL_ARG_SRC, srcSlot, {}}, {DNNL_ARG_WEIGHTS, weightsSlot, {}}, {DNNL_ARG_DST, dstSlot, {}}};
        if (bias) {
            const size_t biasSlot = newSlot(bias->get_desc());
            plan_.constants[biasSlot] = *bias;
            args.push_back({DNNL_ARG_BIAS, biasSlot, {}});
        }
        args.insert(args.end(), postArgs.begin(), postArgs.end());
        plan_.steps.push_back(PrimitiveStep{primitive, std::move(args), scratch});
        slotOf_[last][0] = dstSlot;
    }

    void eltwise(size_t i) {
        const Node& node = graph_.nodes[i];
        const auto e = eltwiseOf(node);
        const size_t src = slotOf_[node.inputs[0].node][node.inputs[0].port];
        const dnnl::eltwise_forward::desc desc(dnnl::prop_kind::forward_inference, e->first, plan_.slots[src],
                                               e->second.first, e->second.second);
        const dnnl::eltwise_forward::primitive_desc pd(desc, userScratchpad(), plan_.engine);
        const size_t dst = newSlot(pd.dst_desc());
        plan_.steps.push_back(
            PrimitiveStep{dnnl::eltwise_forward(pd), {{DNNL_ARG_SRC, src, {}}, {DNNL_ARG_DST, dst, {}}}, pd.scratchpad_desc()});
        slotOf_[i][0] = dst;
    }

    void binary(size_t i) {
        const Node& node = graph_.nodes[i];
        const Shape& out = node.outputShapes[0];
        OutputRef a = node.inputs[0], b = node.inputs[1];
        const size_t rank = std::max<size_t>(1, out.size());
        const auto full = [&](const OutputRef& r) { return toDims(shapeOf(r), rank) == toDims(out, rank); };
        if (!full(a))
            std::swap(a, b);  // both operations commute
        if (!full(a)) {
            loopNode(i);
            return;
        }
        const size_t sa = plain(a), sb = plain(b);
        const memory::desc da = plainDesc(shapeOf(a), rank), db = plainDesc(shapeOf(b), rank), dd = plainDesc(out, rank);
        const dnnl::binary::desc desc(
            node.kind == OpKind::Add ? dnnl::algorithm::binary_add : dnnl::algorithm::binary_mul, da, db, dd);
        const dnnl::binary::primitive_desc pd(desc, userScratchpad(), plan_.engine);
        const size_t dst = newSlot(plainDesc(out));
        plan_.steps.push_back(PrimitiveStep{
            dnnl::binary(pd), {{DNNL_ARG_SRC_0, sa, da}, {DNNL_ARG_SRC_1, sb, db}, {DNNL_ARG_DST, dst, dd}}, pd.scratchpad_desc()});
        slotOf_[i][0] = dst;
    }

    void reduceMean(size_t i) {
        const Node& node = graph_.nodes[i];
        const ReduceAttrs& a = std::get<ReduceAttrs>(node.attrs);
        const Shape& in = shapeOf(node.inputs[0]);
        Shape kept = in;
        bool any = false;
        for (size_t k = 0; k < in.size(); ++k)
            if (a.reduced[k]) {
                kept[k] = 1;
                any = any || in[k] != 1;
            }
        if (!any) {
            loopNode(i);
            return;
        }
        const size_t src = plain(node.inputs[0]);
        const memory::desc dd = plainDesc(kept);
        const dnnl::reduction::desc desc(dnnl::algorithm::reduction_mean, plan_.slots[src], dd, 0.0f, 0.0f);
        const dnnl::reduction::primitive_desc pd(desc, userScratchpad(), plan_.engine);
        const size_t dst = newSlot(plainDesc(node.outputShapes[0]));
        plan_.steps.push_back(
            PrimitiveStep{dnnl::reduction(pd), {{DNNL_ARG_SRC, src, {}}, {DNNL_ARG_DST, dst, dd}}, pd.scratchpad_desc()});
        slotOf_[i][0] = dst;
    }

    // Cheap data movement and odd cases: the reference loops over dense buffers.
    void loopNode(size_t i) {
        const Node* node = &graph_.nodes[i];
        std::vector<size_t> slots;
        std::vector<const Shape*> inShapes;
        for (const OutputRef& ref : node->inputs) {
            slots.push_back(plain(ref));
            inShapes.push_back(&shapeOf(ref));
        }
        const size_t inputs = slots.size();
        for (size_t k = 0; k < node->outputShapes.size(); ++k) {
            slotOf_[i][k] = newSlot(plainDesc(node->outputShapes[k]));
            slots.push_back(slotOf_[i][k]);
        }
        const auto span = [](float* p, const Shape& s) { return std::span<float>(p, elementCount(s)); };
        const auto view = [=](std::span<float* const> b, size_t k) { return View{*inShapes[k], span(b[k], *inShapes[k])}; };
        const Shape& out = node->outputShapes[0];
        switch (node->kind) {
        case OpKind::Convert:
            addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
                convert(std::get<ConvertAttrs>(node->attrs).destination, view(b, 0).data, span(b[1], out));
            });
            return;
        case OpKind::Add:
        case OpKind::Multiply:
            addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
                arithmetic(node->kind == OpKind::Add ? Arithmetic::add : Arithmetic::multiply, view(b, 0), view(b, 1), out,
                           span(b[2], out));
            });
            return;
        case OpKind::ReduceMean:  // reduces nothing but unit axes: a copy
            addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
                std::ranges::copy(view(b, 0).data, b[2]);
            });
            return;
        case OpKind::Interpolate: {
            const size_t scratch = interpolateScratch(*inShapes[0], out);
            addLoop(
                slots,
                [=](std::span<float* const> b, std::span<float> s) {
                    interpolate(view(b, 0), out, span(b[inputs], out), std::get<InterpolateAttrs>(node->attrs),
                                s.first(scratch), s.subspan(scratch, scratch));
                },
                2 * scratch);
            return;
        }
        case OpKind::Concat:
            addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
                // Kept across calls so that only the first Infer allocates it.
                thread_local std::vector<View> views;
                views.clear();
                for (size_t k = 0; k < inputs; ++k)
                    views.push_back(view(b, k));
                concat(views, out, span(b[inputs], out), std::get<AxisAttrs>(node->attrs).axis);
            });
            return;
        case OpKind::Split:
            addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
                thread_local std::vector<std::span<float>> parts;
                parts.clear();
                for (size_t k = 0; k < node->outputShapes.size(); ++k)
                    parts.push_back(span(b[inputs + k], node->outputShapes[k]));
                split(view(b, 0), parts, std::get<AxisAttrs>(node->attrs).axis);
            });
            return;
        case OpKind::Gather:
            addLoop(slots, [=](std::span<float* const> b, std::span<float>) {
                gather(view(b, 0), view(b, 1).data, span(b[3], out), std::get<AxisAttrs>(node->attrs).axis, node->name);
            });
            return;
        default: fail(node->type + " '" + node->name + "' cannot run on CPU", NOT_IMPLEMENTED);
        }
    }

    Plan& plan_;
    const Graph& graph_;
    dnnl::stream stream_;
    std::vector<std::vector<size_t>> slotOf_, plainOf_;
    std::vector<std::vector<std::vector<Use>>> consumers_;
    std::vector<bool> fused_;
};

// One request's buffers and prepared arguments; Infer only runs what is set up here.
class DnnlRun final : public Executor {
public:
    explicit DnnlRun(std::shared_ptr<const Plan> plan) : plan_(std::move(plan)), stream_(plan_->engine) {
        for (size_t s = 0; s < plan_->slots.size(); ++s)
            memories_.push_back(plan_->constants[s] ? *plan_->constants[s] : memory(plan_->slots[s], plan_->engine));
        for (const memory& m : memories_)
            buffers_.push_back(static_cast<float*>(m.get_data_handle()));
        for (const auto& step : plan_->steps) {
            Prepared p;
            if (const auto* prim = std::get_if<PrimitiveStep>(&step)) {
                for (const Arg& a : prim->args) {
                    p.held.push_back(a.view ? memory(*a.view, plan_->engine, memories_[a.slot].get_data_handle())
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
                for (const size_t slot : loop.slots)
                    p.buffers.push_back(buffers_[slot]);
            }
            prepared_.push_back(std::move(p));
        }
    }

    void infer(const std::vector<Blob::Ptr>& inputs, const std::vector<Blob::Ptr>& outputs) override {
        const Graph& graph = *plan_->graph;
        for (size_t k = 0; k < inputs.size(); ++k) {
            const auto& blob = static_cast<const MemoryBlob&>(*inputs[k]);
            float* target = buffers_[plan_->inputSlots[k]];
            readAsFloat(blob.getTensorDesc().getPrecision(), blob.rmap().as<const void*>(), blob.size(), target);
            const ElementType type = graph.nodes[graph.parameters[k]].outputTypes[0];
            if (type != ElementType::f32)
                for (size_t i = 0; i < blob.size(); ++i)
                    target[i] = castTo(type, target[i]);
        }
        omp_set_num_threads(int(plan_->threads));
        for (size_t s = 0; s < plan_->steps.size(); ++s) {
            Prepared& p = prepared_[s];
            if (const auto* prim = std::get_if<PrimitiveStep>(&plan_->steps[s])) {
                // The C call takes prepared arguments; the C++ wrapper would build a vector per call.
                const dnnl_status_t status =
                    dnnl_primitive_execute(prim->primitive.get(), stream_.get(), int(p.args.size()), p.args.data());
                if (status != dnnl_success)
                    fail("oneDNN primitive failed with status " + std::to_string(int(status)));
            } else {
                std::get<LoopStep>(plan_->steps[s]).run(p.buffers, p.scratch);
            }
        }
        stream_.wait();
        for (size_t k = 0; k < outputs.size(); ++k) {
            auto& blob = static_cast<MemoryBlob&>(*outputs[k]);
            writeFromFloat(blob.getTensorDesc().getPrecision(), buffers_[plan_->outputSlots[k]], blob.size(),
                           blob.wmap().as<void*>());
        }
    }

private:
    struct Prepared {
        std::vector<memory> held;
        std::vector<dnnl_exec_arg_t> args;
        std::vector<float*> buffers;
        std::vector<float> scratch;
    };

    std::shared_ptr<const Plan> plan_;
    dnnl::stream stream_;
    std::vector<memory> memories_;
    std::vector<float*> buffers_;
    std::vector<Prepared> prepared_;
};

class DnnlNetwork final : public CompiledNetwork {
public:
    DnnlNetwork(const NetworkState& state, size_t threads) : CompiledNetwork(state, threads) {
        auto plan = std::make_shared<Plan>();
        plan->graph = state.graph;
        plan->threads = threads;
        Compiler(*plan).compile();
        plan_ = std::move(plan);
    }

    std::unique_ptr<Executor> createExecutor() const override { return std::make_unique<DnnlRun>(plan_); }

private:
    std::shared_ptr<const Plan> plan_;
};

}  // namespace

std::shared_ptr<CompiledNetwork> compileForDnnl(const NetworkState& network, size_t threads) {
    try {
        return std::make_shared<DnnlNetwork>(network, threads);
    } catch (const dnnl::error& e) {
        fail(std::string("oneDNN: ") + e.what(), GENERAL_ERROR);
    }
}

}  // namespace InferenceEngine::impl
