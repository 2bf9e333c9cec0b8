#include "dnnl_network.h"

#include <algorithm>
#include <cmath>
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

// oneDNN plans its work for the thread count in force when a primitive is made, and runs with
// the one in force when it executes: both are the network's.
class ThreadCount {
public:
    explicit ThreadCount(size_t threads) : saved_(omp_get_max_threads()) { omp_set_num_threads(int(threads)); }
    ~ThreadCount() { omp_set_num_threads(saved_); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;

private:
    int saved_;
};

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

// Whether elements lie in the order of strides alone, without blocks or padding.
bool unblocked(const memory::desc& d) {
    const dnnl_memory_desc_t& m = d.data;
    if (m.format_kind != dnnl_blocked || m.format_desc.blocking.inner_nblks != 0)
        return false;
    for (int k = 0; k < m.ndims; ++k)
        if (m.padded_dims[k] != m.dims[k] || m.padded_offsets[k] != 0)
            return false;
    return true;
}

// Whether a buffer of this description holds its elements and nothing else.
bool compact(const memory::desc& d) {
    size_t count = 1;
    for (const memory::dim x : d.dims())
        count *= size_t(x);
    return d.data.offset0 == 0 && d.get_size() == count * sizeof(float);
}

// Whether both put every element at the same place; strides of unit axes do not count.
bool sameLayout(const memory::desc& a, const memory::desc& b) {
    if (a == b)
        return true;
    if (a.dims() != b.dims() || a.data_type() != b.data_type() || !unblocked(a) || !unblocked(b) ||
        a.data.offset0 != b.data.offset0)
        return false;
    for (int k = 0; k < a.data.ndims; ++k)
        if (a.data.dims[k] != 1 && a.data.format_desc.blocking.strides[k] != b.data.format_desc.blocking.strides[k])
            return false;
    return true;
}

memory::dims stridesOf(const memory::desc& d) {
    const auto& s = d.data.format_desc.blocking.strides;
    return memory::dims(s, s + d.data.ndims);
}

memory::desc strided(const memory::dims& dims, const memory::dims& strides, memory::dim offset = 0) {
    memory::desc d(dims, memory::data_type::f32, strides);
    d.data.offset0 = offset;
    return d;
}

// Dense, with the axes in the order of like's strides where like is unblocked, else row-major.
memory::desc denseLike(const memory::dims& dims, const memory::desc& like) {
    std::vector<size_t> order(dims.size());
    for (size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    if (unblocked(like) && like.dims().size() == dims.size()) {
        const auto& s = like.data.format_desc.blocking.strides;
        std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return s[x] > s[y]; });
    }
    memory::dims strides(dims.size());
    memory::dim step = 1;
    for (size_t k = order.size(); k-- > 0;) {
        strides[order[k]] = step;
        step *= dims[order[k]];
    }
    return memory::desc(dims, memory::data_type::f32, strides);
}

memory::desc anyDesc(const memory::dims& dims) { return memory::desc(dims, memory::data_type::f32, Tag::any); }

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
    std::vector<std::optional<size_t>> aliases;    // per slot; set when it views another slot's buffer
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

struct Eltwise {
    dnnl::algorithm algorithm;
    float alpha, beta;
};

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

struct ConvGeometry {
    memory::dims strides, dilates, padL, padR;
};

struct ConvPrimitive {
    dnnl::primitive primitive;
    memory::desc src, weights, dst, scratch;
};

ConvPrimitive makeConvolution(const dnnl::engine& engine, bool transposed, const memory::desc& src,
                              const memory::desc& weights, const memory::desc& bias, const memory::desc& dst,
                              const ConvGeometry& g, const dnnl::primitive_attr& attr) {
    const auto inference = dnnl::prop_kind::forward_inference;
    if (transposed) {
        const auto algorithm = dnnl::algorithm::deconvolution_direct;
        const auto desc =
            bias.is_zero()
                ? dnnl::deconvolution_forward::desc(inference, algorithm, src, weights, dst, g.strides, g.dilates, g.padL, g.padR)
                : dnnl::deconvolution_forward::desc(inference, algorithm, src, weights, bias, dst, g.strides, g.dilates,
                                                    g.padL, g.padR);
        const dnnl::deconvolution_forward::primitive_desc pd(desc, attr, engine);
        return {dnnl::deconvolution_forward(pd), pd.src_desc(), pd.weights_desc(), pd.dst_desc(), pd.scratchpad_desc()};
    }
    const auto algorithm = dnnl::algorithm::convolution_direct;
    const auto desc =
        bias.is_zero()
            ? dnnl::convolution_forward::desc(inference, algorithm, src, weights, dst, g.strides, g.dilates, g.padL, g.padR)
            : dnnl::convolution_forward::desc(inference, algorithm, src, weights, bias, dst, g.strides, g.dilates, g.padL,
                                              g.padR);
    const dnnl::convolution_forward::primitive_desc pd(desc, attr, engine);
    return {dnnl::convolution_forward(pd), pd.src_desc(), pd.weights_desc(), pd.dst_desc(), pd.scratchpad_desc()};
}

// A transposed convolution of one image whose kernel equals its stride, without padding or
// dilation: each input pixel makes its own kh × kw block of output pixels.
bool tilesOutput(const Node& node, const Shape& in, const Shape& weights) {
    const ConvAttrs& a = std::get<ConvAttrs>(node.attrs);
    const Shape& out = node.outputShapes[0];
    if (in[0] != 1)
        return false;
    for (size_t k = 0; k < 2; ++k)
        if (a.strides[k] != weights[2 + k] || a.dilations[k] != 1 || a.padBegin[k] != 0 || a.padEnd[k] != 0 ||
            out[2 + k] != in[2 + k] * weights[2 + k])
            return false;
    return true;
}

class Compiler {
public:
    explicit Compiler(Plan& plan) : plan_(plan), graph_(*plan.graph), stream_(plan.engine) {
        slotOf_.resize(graph_.nodes.size());
        copies_.resize(graph_.nodes.size());
        consumers_.resize(graph_.nodes.size());
        for (size_t i = 0; i < graph_.nodes.size(); ++i) {
            slotOf_[i].assign(graph_.nodes[i].outputShapes.size(), none);
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

    // An operation that oneDNN applies inside the primitive before it.
    struct PostOp {
        std::optional<Eltwise> eltwise;
        dnnl::algorithm binary = dnnl::algorithm::undef;
        OutputRef other;
        bool full = false;  // other has the output's shape
    };

    struct Chain {
        std::vector<size_t> nodes;  // joined, in order
        std::vector<PostOp> ops;
        const std::vector<float>* bias = nullptr;  // per output channel
    };

    const Shape& shapeOf(const OutputRef& ref) const { return graph_.nodes[ref.node].outputShapes[ref.port]; }
    size_t slotOf(const OutputRef& ref) const { return slotOf_[ref.node][ref.port]; }
    const memory::desc& descOf(const OutputRef& ref) const { return plan_.slots[slotOf(ref)]; }

    size_t newSlot(const memory::desc& desc, std::optional<size_t> alias = std::nullopt) {
        plan_.slots.push_back(desc);
        plan_.constants.emplace_back();
        plan_.aliases.push_back(alias);
        return plan_.slots.size() - 1;
    }

    size_t constantSlot(const memory::desc& desc, const float* values) {
        const size_t slot = newSlot(desc);
        memory m(desc, plan_.engine);
        std::copy(values, values + desc.get_size() / sizeof(float), static_cast<float*>(m.get_data_handle()));
        plan_.constants[slot] = m;
        return slot;
    }

    // The tensor laid out as `want`: its own slot when its elements already lie so, else a copy
    // reordered once.
    size_t laidOut(const OutputRef& ref, const memory::desc& want) {
        const size_t slot = slotOf(ref);
        if (sameLayout(plan_.slots[slot], want))
            return slot;
        auto& copies = copies_[ref.node][ref.port];
        for (const auto& [desc, copy] : copies)
            if (sameLayout(desc, want))
                return copy;
        const size_t copy = newSlot(want);
        reorder(slot, copy);
        copies.emplace_back(want, copy);
        return copy;
    }

    // The tensor in dense row-major order.
    size_t plain(const OutputRef& ref) { return laidOut(ref, plainDesc(shapeOf(ref))); }

    // The tensor in a buffer that holds nothing else: in its own layout if it can, else row-major.
    memory::desc compactDesc(const OutputRef& ref) const {
        return compact(descOf(ref)) ? descOf(ref) : plainDesc(shapeOf(ref));
    }
    std::pair<size_t, memory::desc> compactOf(const OutputRef& ref) {
        const memory::desc desc = compactDesc(ref);
        return {laidOut(ref, desc), desc};
    }

    void reorder(size_t from, size_t to, const std::optional<memory::desc>& fromView = {},
                 const std::optional<memory::desc>& toView = {}) {
        const dnnl::reorder::primitive_desc pd(plan_.engine, fromView.value_or(plan_.slots[from]), plan_.engine,
                                               toView.value_or(plan_.slots[to]), userScratchpad());
        plan_.steps.push_back(
            PrimitiveStep{dnnl::reorder(pd), {{DNNL_ARG_FROM, from, fromView}, {DNNL_ARG_TO, to, toView}}, pd.scratchpad_desc()});
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
            slotOf_[i][0] = constantSlot(plainDesc(node.outputShapes[0]), node.constant->data());
            return;
        }
        case OpKind::Convert:
            // Values are held as floats already; only a narrower type changes them.
            if (std::get<ConvertAttrs>(node.attrs).destination == ElementType::f32)
                slotOf_[i][0] = slotOf(node.inputs[0]);
            else
                loopNode(i);
            return;
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
        case OpKind::Gather: gatherOne(i); return;
        case OpKind::Concat: concatenate(i); return;
        case OpKind::Interpolate: resample(i); return;
        case OpKind::Result: slotOf_[i][0] = plain(node.inputs[0]); return;
        default: loopNode(i); return;
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

    // The single consumers of node i that oneDNN can apply inside it. With scalarsOnly, only
    // operands of one element (and a bias) join, for a primitive whose output is not yet in the
    // node's shape; with takesBias, a first per-channel constant Add is taken as a bias.
    Chain followChain(size_t i, bool scalarsOnly, bool takesBias) const {
        const Shape& out = graph_.nodes[i].outputShapes[0];
        Chain chain;
        size_t last = i;
        while (true) {
            const auto& uses = consumers_[last][0];
            if (uses.size() != 1)
                break;
            const Node& next = graph_.nodes[uses[0].node];
            if (next.outputShapes.size() != 1 || next.outputShapes[0] != out)
                break;
            if (const auto e = eltwiseOf(next)) {
                chain.ops.push_back({e, dnnl::algorithm::undef, {}, false});
            } else if (next.kind == OpKind::Add || next.kind == OpKind::Multiply) {
                const OutputRef other = next.inputs[1 - uses[0].input];
                const Node& otherNode = graph_.nodes[other.node];
                const Shape& shape = shapeOf(other);
                // Only a tensor already computed when the primitive runs can join it.
                if (other.node >= i || broadcastShapes(shape, out) != out)
                    break;
                if (takesBias && next.kind == OpKind::Add && chain.ops.empty() && !chain.bias && otherNode.kind == OpKind::Const &&
                    perChannel(shape, out)) {
                    chain.bias = otherNode.constant.get();
                } else {
                    if (scalarsOnly && elementCount(shape) != 1)
                        break;
                    chain.ops.push_back({std::nullopt, binaryOf(next.kind), other, toDims(shape, out.size()) == toDims(out)});
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
    // args, also their arguments.
    dnnl::post_ops postOps(const Chain& chain, const memory::desc& full, std::vector<Arg>* args) {
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

    // The primitive's step; its output stands for the chain's last node.
    void addChained(size_t i, const Chain& chain, const PrimitiveStep& step, size_t dst) {
        plan_.steps.push_back(step);
        for (const size_t n : chain.nodes)
            fused_[n] = true;
        slotOf_[chain.nodes.empty() ? i : chain.nodes.back()][0] = dst;
    }

    // Constant weights, reordered once into the layout that the primitive chose.
    size_t weightsSlot(const memory::desc& chosen, const memory::desc& given, const float* values) {
        memory source(given, plan_.engine, const_cast<float*>(values));
        memory weights(chosen, plan_.engine);
        dnnl::reorder(source, weights).execute(stream_, source, weights);
        stream_.wait();
        const size_t slot = newSlot(chosen);
        plan_.constants[slot] = weights;
        return slot;
    }

    ConvGeometry geometry(const ConvAttrs& a) const {
        return {{memory::dim(a.strides[0]), memory::dim(a.strides[1])},
                {memory::dim(a.dilations[0]) - 1, memory::dim(a.dilations[1]) - 1},
                {memory::dim(a.padBegin[0]), memory::dim(a.padBegin[1])},
                {memory::dim(a.padEnd[0]), memory::dim(a.padEnd[1])}};
    }

    void convolution(size_t i) {
        const Node& node = graph_.nodes[i];
        const Node& weightsNode = graph_.nodes[node.inputs[1].node];
        if (weightsNode.kind != OpKind::Const)
            fail(node.name + ": weights that are not constant are not supported on CPU", NOT_IMPLEMENTED);
        const OutputRef input = node.inputs[0];
        const Shape& w = weightsNode.outputShapes[0];
        const bool transposed = node.kind == OpKind::ConvolutionBackpropData;
        if (transposed && tilesOutput(node, shapeOf(input), w)) {
            tiledTransposed(i);
            return;
        }
        const Shape& out = node.outputShapes[0];
        const Chain chain = followChain(i, false, true);

        memory::dims weightDims(w.begin(), w.end());
        Tag givenWeights = node.kind == OpKind::GroupConvolution ? Tag::goihw : Tag::oihw;
        if (transposed) {
            // IR weights are (in, out, kh, kw); oneDNN names them (out, in, kh, kw).
            weightDims = {memory::dim(w[1]), memory::dim(w[0]), memory::dim(w[2]), memory::dim(w[3])};
            givenWeights = Tag::iohw;
        }
        const ConvGeometry g = geometry(std::get<ConvAttrs>(node.attrs));
        const memory::desc srcAny = anyDesc(toDims(shapeOf(input))), dstAny = anyDesc(toDims(out));
        const memory::desc bias =
            chain.bias ? memory::desc({memory::dim(out[1])}, memory::data_type::f32, Tag::a) : memory::desc();

        // The formats oneDNN prefers for the bare convolution, kept with the post-ops, whose
        // full-size operands then come in the output's layout. Without such a fusion in oneDNN,
        // those operands are row-major and oneDNN chooses again.
        const ConvPrimitive bare = makeConvolution(plan_.engine, transposed, srcAny, anyDesc(weightDims), bias, dstAny, g,
                                                   userScratchpad());
        ConvPrimitive conv;
        memory::desc full = bare.dst;
        try {
            conv = makeConvolution(plan_.engine, transposed, bare.src, anyDesc(weightDims), bias, bare.dst, g,
                                   userScratchpad(postOps(chain, full, nullptr)));
        } catch (const dnnl::error&) {
            full = plainDesc(out);
            conv = makeConvolution(plan_.engine, transposed, srcAny, anyDesc(weightDims), bias, dstAny, g,
                                   userScratchpad(postOps(chain, full, nullptr)));
        }

        const memory::desc given(weightDims, memory::data_type::f32, givenWeights);
        std::vector<Arg> args{{DNNL_ARG_SRC, laidOut(input, conv.src), conv.src},
                              {DNNL_ARG_WEIGHTS, weightsSlot(conv.weights, given, weightsNode.constant->data()), {}}};
        if (chain.bias)
            args.push_back({DNNL_ARG_BIAS, constantSlot(bias, chain.bias->data()), {}});
        postOps(chain, full, &args);
        const size_t dst = newSlot(conv.dst);
        args.push_back({DNNL_ARG_DST, dst, {}});
        addChained(i, chain, {conv.primitive, std::move(args), conv.scratch}, dst);
    }

    // Done as a product of the weights, as an (out × kh × kw, in) matrix, with the input's
    // pixels, whose rows a reorder then moves into their places: oneDNN's transposed and 1 × 1
    // convolutions are slow for so few output channels. The product takes scalar post-ops only,
    // as oneDNN does not fuse per-row ones fast; a bias of several channels runs after it.
    void tiledTransposed(size_t i) {
        const Node& node = graph_.nodes[i];
        const Node& weightsNode = graph_.nodes[node.inputs[1].node];
        const OutputRef input = node.inputs[0];
        const Shape& in = shapeOf(input);
        const Shape& w = weightsNode.outputShapes[0];  // in, out, kh, kw
        const Shape& out = node.outputShapes[0];
        const size_t cin = w[0], cout = w[1], kh = w[2], kw = w[3], tiles = cout * kh * kw;
        const Chain chain = followChain(i, true, false);

        // Row (o, y, x) of the matrix holds weights[c][o][y][x] for every c.
        std::vector<float> matrix(tiles * cin);
        for (size_t c = 0; c < cin; ++c)
            for (size_t t = 0; t < tiles; ++t)
                matrix[t * cin + c] = (*weightsNode.constant)[c * tiles + t];

        // The input as (in, pixels): its own buffer where rows and columns make one axis.
        const memory::desc& given = descOf(input);
        const bool flat = unblocked(given) && compact(given) &&
                          given.data.format_desc.blocking.strides[2] ==
                              memory::dim(in[3]) * given.data.format_desc.blocking.strides[3];
        const memory::desc source = flat ? given : plainDesc(in);
        const memory::dims s = stridesOf(source);
        const memory::dim pixels = memory::dim(in[2] * in[3]);
        const memory::desc a({memory::dim(tiles), memory::dim(cin)}, memory::data_type::f32, Tag::ab);
        const memory::desc b = strided({memory::dim(cin), pixels}, {s[1], s[3]});
        const memory::desc product({memory::dim(tiles), pixels}, memory::data_type::f32, Tag::ab);
        const dnnl::matmul::primitive_desc pd(dnnl::matmul::desc(a, b, product),
                                              userScratchpad(postOps(chain, product, nullptr)), plan_.engine);

        std::vector<Arg> args{{DNNL_ARG_SRC, constantSlot(a, matrix.data()), {}},
                              {DNNL_ARG_WEIGHTS, laidOut(input, source), b}};
        postOps(chain, product, &args);
        const size_t tiled = newSlot(product);
        args.push_back({DNNL_ARG_DST, tiled, {}});
        const size_t dst = newSlot(plainDesc(out));
        addChained(i, chain, {dnnl::matmul(pd), std::move(args), pd.scratchpad_desc()}, dst);

        // Both as (o, y, x, row, column): row (o, y, x) at pixel (row, column) goes to output
        // pixel (row × kh + y, column × kw + x).
        const memory::dim k = memory::dim(kh), l = memory::dim(kw), columns = memory::dim(in[3]);
        const memory::dim width = memory::dim(out[3]);
        const memory::dims dims{memory::dim(cout), k, l, memory::dim(in[2]), columns};
        reorder(tiled, dst, strided(dims, {k * l * pixels, l * pixels, pixels, columns, 1}),
                strided(dims, {memory::dim(out[2] * out[3]), width, 1, k * width, l}));
    }

    void eltwise(size_t i) {
        const Node& node = graph_.nodes[i];
        const Eltwise e = *eltwiseOf(node);
        const auto [src, desc] = compactOf(node.inputs[0]);
        const dnnl::eltwise_forward::desc d(dnnl::prop_kind::forward_inference, e.algorithm, desc, e.alpha, e.beta);
        const dnnl::eltwise_forward::primitive_desc pd(d, userScratchpad(), plan_.engine);
        const size_t dst = newSlot(pd.dst_desc());
        plan_.steps.push_back(
            PrimitiveStep{dnnl::eltwise_forward(pd), {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}}, pd.scratchpad_desc()});
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
        const auto algorithm = binaryOf(node.kind);
        // In the layout of the first operand where it has the output's rank, with a second
        // operand of the same shape in that layout too and later operations as post-ops.
        if (shapeOf(a).size() == out.size() && !out.empty()) {
            const memory::desc da = compactDesc(a);
            const bool alike = shapeOf(b) == out;
            const memory::desc db = alike ? da : plainDesc(shapeOf(b), rank);
            const dnnl::binary::desc desc(algorithm, da, db, da);
            Chain chain = followChain(i, false, false);
            dnnl::binary::primitive_desc pd;
            try {
                pd = dnnl::binary::primitive_desc(desc, userScratchpad(postOps(chain, da, nullptr)), plan_.engine);
            } catch (const dnnl::error&) {
                chain = {};
                pd = dnnl::binary::primitive_desc(desc, userScratchpad(), plan_.engine);
            }
            std::vector<Arg> args{{DNNL_ARG_SRC_0, laidOut(a, da), da}, {DNNL_ARG_SRC_1, alike ? laidOut(b, da) : plain(b), db}};
            postOps(chain, da, &args);
            const size_t dst = newSlot(da);
            args.push_back({DNNL_ARG_DST, dst, {}});
            addChained(i, chain, {dnnl::binary(pd), std::move(args), pd.scratchpad_desc()}, dst);
            return;
        }
        const size_t sa = plain(a), sb = plain(b);
        const memory::desc da = plainDesc(shapeOf(a), rank), db = plainDesc(shapeOf(b), rank), dd = plainDesc(out, rank);
        const dnnl::binary::primitive_desc pd(dnnl::binary::desc(algorithm, da, db, dd), userScratchpad(), plan_.engine);
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
        const auto mean = dnnl::algorithm::reduction_mean;
        if (kept == node.outputShapes[0] && in.size() >= 3 && in.size() <= 5 && !a.reduced[0] && !a.reduced[1] &&
            std::all_of(a.reduced.begin() + 2, a.reduced.end(), [](bool r) { return r; })) {
            // The mean over all spatial axes is global average pooling, which oneDNN does well
            // in any layout.
            const auto [src, desc] = compactOf(node.inputs[0]);
            const memory::dims window(in.begin() + 2, in.end()), zeros(in.size() - 2, 0);
            const dnnl::pooling_forward::desc d(dnnl::prop_kind::forward_inference,
                                                dnnl::algorithm::pooling_avg_exclude_padding, desc, anyDesc(toDims(kept)),
                                                window, window, zeros, zeros);
            const dnnl::pooling_forward::primitive_desc pd(d, userScratchpad(), plan_.engine);
            const size_t dst = newSlot(pd.dst_desc());
            plan_.steps.push_back(
                PrimitiveStep{dnnl::pooling_forward(pd), {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}}, pd.scratchpad_desc()});
            slotOf_[i][0] = dst;
            return;
        }
        if (kept == node.outputShapes[0]) {
            // Kept axes: the output takes the input's layout.
            const auto [src, desc] = compactOf(node.inputs[0]);
            const dnnl::reduction::primitive_desc pd(dnnl::reduction::desc(mean, desc, anyDesc(toDims(kept)), 0.0f, 0.0f),
                                                     userScratchpad(), plan_.engine);
            const size_t dst = newSlot(pd.dst_desc());
            plan_.steps.push_back(
                PrimitiveStep{dnnl::reduction(pd), {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}}, pd.scratchpad_desc()});
            slotOf_[i][0] = dst;
            return;
        }
        const size_t src = plain(node.inputs[0]);
        const memory::desc dd = plainDesc(kept);
        const dnnl::reduction::primitive_desc pd(dnnl::reduction::desc(mean, plan_.slots[src], dd, 0.0f, 0.0f),
                                                 userScratchpad(), plan_.engine);
        const size_t dst = newSlot(plainDesc(node.outputShapes[0]));
        plan_.steps.push_back(
            PrimitiveStep{dnnl::reduction(pd), {{DNNL_ARG_SRC, src, {}}, {DNNL_ARG_DST, dst, dd}}, pd.scratchpad_desc()});
        slotOf_[i][0] = dst;
    }

    // One constant index: a view of the data, no copy.
    void gatherOne(size_t i) {
        const Node& node = graph_.nodes[i];
        const Node& indices = graph_.nodes[node.inputs[1].node];
        const OutputRef data = node.inputs[0];
        const Shape& in = shapeOf(data);
        const size_t axis = std::get<AxisAttrs>(node.attrs).axis;
        const Shape& out = node.outputShapes[0];
        const memory::desc& desc = descOf(data);
        if (indices.kind != OpKind::Const || indices.constant->size() != 1 || in.empty() || out.empty() ||
            out.size() > 6 || !unblocked(desc) || memory::dims(desc.dims()) != toDims(in)) {
            loopNode(i);
            return;
        }
        const float raw = indices.constant->front();
        const float dim = float(in[axis]);
        if (!(raw >= -dim && raw < dim) || raw != std::trunc(raw)) {
            loopNode(i);  // raises when run, as the reference does
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
        const size_t base = plan_.aliases[slotOf(data)].value_or(slotOf(data));
        slotOf_[i][0] = newSlot(view, base);
    }

    void concatenate(size_t i) {
        const Node& node = graph_.nodes[i];
        const Shape& out = node.outputShapes[0];
        std::vector<memory::desc> sources;
        std::vector<Arg> args;
        for (size_t k = 0; k < node.inputs.size(); ++k) {
            const OutputRef& ref = node.inputs[k];
            if (shapeOf(ref).size() != out.size() || out.empty()) {
                loopNode(i);
                return;
            }
            sources.push_back(descOf(ref));
            args.push_back({DNNL_ARG_MULTIPLE_SRC + int(k), slotOf(ref), {}});
        }
        // In the first input's order of axes; oneDNN's own choice is poor for views.
        const dnnl::concat::primitive_desc pd(denseLike(toDims(out), sources[0]), int(std::get<AxisAttrs>(node.attrs).axis),
                                              sources, plan_.engine, userScratchpad());
        const size_t dst = newSlot(pd.dst_desc());
        args.push_back({DNNL_ARG_DST, dst, {}});
        plan_.steps.push_back(PrimitiveStep{dnnl::concat(pd), std::move(args), pd.scratchpad_desc()});
        slotOf_[i][0] = dst;
    }

    // oneDNN's linear resampling is half-pixel interpolation over the spatial axes, with the
    // scale that the sizes give.
    void resample(size_t i) {
        const Node& node = graph_.nodes[i];
        const InterpolateAttrs& a = std::get<InterpolateAttrs>(node.attrs);
        const Shape& in = shapeOf(node.inputs[0]);
        const Shape& out = node.outputShapes[0];
        bool fits = a.coordinates == CoordinateMode::half_pixel && in.size() >= 3 && in.size() <= 5 && in[0] == out[0] &&
                    in[1] == out[1] && a.scales[0] == 1.0f && a.scales[1] == 1.0f;
        for (size_t k = 2; fits && k < in.size(); ++k)
            fits = a.scales[k] == float(out[k]) / float(in[k]);
        if (!fits) {
            loopNode(i);
            return;
        }
        const auto [src, desc] = compactOf(node.inputs[0]);
        const dnnl::resampling_forward::desc d(dnnl::prop_kind::forward_inference, dnnl::algorithm::resampling_linear, desc,
                                               anyDesc(toDims(out)));
        const dnnl::resampling_forward::primitive_desc pd(d, userScratchpad(), plan_.engine);
        const size_t dst = newSlot(pd.dst_desc());
        plan_.steps.push_back(
            PrimitiveStep{dnnl::resampling_forward(pd), {{DNNL_ARG_SRC, src, desc}, {DNNL_ARG_DST, dst, {}}}, pd.scratchpad_desc()});
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
    std::vector<std::vector<size_t>> slotOf_;
    std::vector<std::vector<std::vector<std::pair<memory::desc, size_t>>>> copies_;  // reordered copies
    std::vector<std::vector<std::vector<Use>>> consumers_;
    std::vector<bool> fused_;
};

// One request's buffers and prepared arguments; Infer only runs what is set up here.
class DnnlRun final : public Executor {
public:
    explicit DnnlRun(std::shared_ptr<const Plan> plan) : plan_(std::move(plan)), stream_(plan_->engine) {
        for (size_t s = 0; s < plan_->slots.size(); ++s) {
            if (plan_->constants[s])
                memories_.push_back(*plan_->constants[s]);
            else if (const auto base = plan_->aliases[s])
                memories_.emplace_back(plan_->slots[s], plan_->engine, memories_[*base].get_data_handle());
            else
                memories_.emplace_back(plan_->slots[s], plan_->engine);
        }
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
            if (!holdsEvery(type, blob.getTensorDesc().getPrecision()))
                for (size_t i = 0; i < blob.size(); ++i)
                    target[i] = castTo(type, target[i]);
        }
        const ThreadCount threads(plan_->threads);
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
        const ThreadCount count(threads);
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
