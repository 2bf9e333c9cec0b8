#include <vector>

#include "errors.h"
#include "operations.h"

// Convolutions: oneDNN convolution and deconvolution primitives with the formats they
// choose, a bias and activations as post-ops; a transposed convolution whose kernel equals
// its stride as one matrix product and a reorder into place.
namespace InferenceEngine::impl::onednn {

namespace {

struct ConvGeometry {
  memory::dims strides, dilates, padL, padR;
};

struct ConvPrimitive {
  dnnl::primitive primitive;
  memory::desc src, weights, dst, scratch;
};

ConvPrimitive makeConvolution(const dnnl::engine& engine, bool transposed, const memory::desc& src,
                              const memory::desc& weights, const memory::desc& bias,
                              const memory::desc& dst, const ConvGeometry& g,
                              const dnnl::primitive_attr& attr) {
  const auto inference = dnnl::prop_kind::forward_inference;
  if (transposed) {
    const auto algorithm = dnnl::algorithm::deconvolution_direct;
    const auto desc =
        bias.is_zero()
            ? dnnl::deconvolution_forward::desc(inference, algorithm, src, weights, dst, g.strides,
                                                g.dilates, g.padL, g.padR)
            : dnnl::deconvolution_forward::desc(inference, algorithm, src, weights, bias, dst,
                                                g.strides, g.dilates, g.padL, g.padR);
    const dnnl::deconvolution_forward::primitive_desc pd(desc, attr, engine);
    return {dnnl::deconvolution_forward(pd), pd.src_desc(), pd.weights_desc(), pd.dst_desc(),
            pd.scratchpad_desc()};
  }
  const auto algorithm = dnnl::algorithm::convolution_direct;
  const auto desc =
      bias.is_zero() ? dnnl::convolution_forward::desc(inference, algorithm, src, weights, dst,
                                                       g.strides, g.dilates, g.padL, g.padR)
                     : dnnl::convolution_forward::desc(inference, algorithm, src, weights, bias,
                                                       dst, g.strides, g.dilates, g.padL, g.padR);
  const dnnl::convolution_forward::primitive_desc pd(desc, attr, engine);
  return {dnnl::convolution_forward(pd), pd.src_desc(), pd.weights_desc(), pd.dst_desc(),
          pd.scratchpad_desc()};
}

// A transposed convolution of one image whose kernel equals its stride, without padding or
// dilation: each input pixel makes its own kh × kw block of output pixels.
bool tilesOutput(const Node& node, const Shape& in, const Shape& weights) {
  const ConvAttrs& a = std::get<ConvAttrs>(node.attrs);
  const Shape& out = node.outputShapes[0];
  if (in[0] != 1) return false;
  for (size_t k = 0; k < 2; ++k)
    if (a.strides[k] != weights[2 + k] || a.dilations[k] != 1 || a.padBegin[k] != 0 ||
        a.padEnd[k] != 0 || out[2 + k] != in[2 + k] * weights[2 + k])
      return false;
  return true;
}

ConvGeometry geometry(const ConvAttrs& a) {
  return {{memory::dim(a.strides[0]), memory::dim(a.strides[1])},
          {memory::dim(a.dilations[0]) - 1, memory::dim(a.dilations[1]) - 1},
          {memory::dim(a.padBegin[0]), memory::dim(a.padBegin[1])},
          {memory::dim(a.padEnd[0]), memory::dim(a.padEnd[1])}};
}

}  // namespace

void compileConvolution(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const Node& weightsNode = c.graph().nodes[node.inputs[1].node];
  if (weightsNode.kind != OpKind::Const)
    fail(node.name + ": weights that are not constant are not supported on CPU", NOT_IMPLEMENTED);
  const OutputRef input = node.inputs[0];
  const Shape& w = weightsNode.outputShapes[0];
  const bool transposed = node.kind == OpKind::ConvolutionBackpropData;
  if (transposed && tilesOutput(node, c.shapeOf(input), w)) {
    compileTiledTransposed(c, i);
    return;
  }
  const Shape& out = node.outputShapes[0];
  const Chain chain = c.followChain(i, false, true);

  memory::dims weightDims(w.begin(), w.end());
  Tag givenWeights = node.kind == OpKind::GroupConvolution ? Tag::goihw : Tag::oihw;
  if (transposed) {
    // IR weights are (in, out, kh, kw); oneDNN names them (out, in, kh, kw).
    weightDims = {memory::dim(w[1]), memory::dim(w[0]), memory::dim(w[2]), memory::dim(w[3])};
    givenWeights = Tag::iohw;
  }
  const ConvGeometry g = geometry(std::get<ConvAttrs>(node.attrs));
  const memory::desc srcAny = anyDesc(toDims(c.shapeOf(input))), dstAny = anyDesc(toDims(out));
  const memory::desc bias =
      chain.bias ? memory::desc({memory::dim(out[1])}, memory::data_type::f32, Tag::a)
                 : memory::desc();

  // The formats oneDNN prefers for the bare convolution, kept with the post-ops, whose
  // full-size operands then come in the output's layout. Without such a fusion in oneDNN,
  // those operands are row-major and oneDNN chooses again.
  const ConvPrimitive bare = makeConvolution(c.engine(), transposed, srcAny, anyDesc(weightDims),
                                             bias, dstAny, g, userScratchpad());
  ConvPrimitive conv;
  memory::desc full = bare.dst;
  try {
    conv = makeConvolution(c.engine(), transposed, bare.src, anyDesc(weightDims), bias, bare.dst, g,
                           userScratchpad(c.postOps(chain, full, nullptr)));
  } catch (const dnnl::error&) {
    full = plainDesc(out);
    conv = makeConvolution(c.engine(), transposed, srcAny, anyDesc(weightDims), bias, dstAny, g,
                           userScratchpad(c.postOps(chain, full, nullptr)));
  }

  const memory::desc given(weightDims, memory::data_type::f32, givenWeights);
  std::vector<Arg> args{
      {DNNL_ARG_SRC, c.laidOut(input, conv.src), conv.src},
      {DNNL_ARG_WEIGHTS, c.weightsSlot(conv.weights, given, weightsNode.constant->data()), {}}};
  if (chain.bias) args.push_back({DNNL_ARG_BIAS, c.constantSlot(bias, chain.bias->data()), {}});
  c.postOps(chain, full, &args);
  const size_t dst = c.newSlot(conv.dst);
  args.push_back({DNNL_ARG_DST, dst, {}});
  c.addChained(i, chain, {conv.primitive, std::move(args), conv.scratch}, dst);
}

// Done as a product of the weights, as an (out × kh × kw, in) matrix, with the input's
// pixels, whose rows a reorder then moves into their places: oneDNN's transposed and 1 × 1
// convolutions are slow for so few output channels. The product takes scalar post-ops only,
// as oneDNN does not fuse per-row ones fast; a bias of several channels runs after it.
void compileTiledTransposed(Compiler& c, size_t i) {
  const Node& node = c.graph().nodes[i];
  const Node& weightsNode = c.graph().nodes[node.inputs[1].node];
  const OutputRef input = node.inputs[0];
  const Shape& in = c.shapeOf(input);
  const Shape& w = weightsNode.outputShapes[0];  // in, out, kh, kw
  const Shape& out = node.outputShapes[0];
  const size_t cin = w[0], cout = w[1], kh = w[2], kw = w[3], tiles = cout * kh * kw;
  const Chain chain = c.followChain(i, true, false);

  // Row (o, y, x) of the matrix holds weights[c][o][y][x] for every c.
  std::vector<float> matrix(tiles * cin);
  for (size_t c = 0; c < cin; ++c)
    for (size_t t = 0; t < tiles; ++t) matrix[t * cin + c] = (*weightsNode.constant)[c * tiles + t];

  // The input as (in, pixels): its own buffer where rows and columns make one axis.
  const memory::desc& given = c.descOf(input);
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
                                        userScratchpad(c.postOps(chain, product, nullptr)),
                                        c.engine());

  std::vector<Arg> args{{DNNL_ARG_SRC, c.constantSlot(a, matrix.data()), {}},
                        {DNNL_ARG_WEIGHTS, c.laidOut(input, source), b}};
  c.postOps(chain, product, &args);
  const size_t tiled = c.newSlot(product);
  args.push_back({DNNL_ARG_DST, tiled, {}});
  const size_t dst = c.newSlot(plainDesc(out));
  c.addChained(i, chain, {dnnl::matmul(pd), std::move(args), pd.scratchpad_desc()}, dst);

  // Both as (o, y, x, row, column): row (o, y, x) at pixel (row, column) goes to output
  // pixel (row × kh + y, column × kw + x).
  const memory::dim k = memory::dim(kh), l = memory::dim(kw), columns = memory::dim(in[3]);
  const memory::dim width = memory::dim(out[3]);
  const memory::dims dims{memory::dim(cout), k, l, memory::dim(in[2]), columns};
  c.reorder(tiled, dst, strided(dims, {k * l * pixels, l * pixels, pixels, columns, 1}),
            strided(dims, {memory::dim(out[2] * out[3]), width, 1, k * width, l}));
}

}  // namespace InferenceEngine::impl::onednn
