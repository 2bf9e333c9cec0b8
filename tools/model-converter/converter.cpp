#include "converter.h"

#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>

#include "ir_writer.h"

namespace vextra::model {

float halfToFloat(uint16_t h) {
    const uint32_t sign = uint32_t(h & 0x8000u) << 16;
    uint32_t exponent = (h >> 10) & 0x1fu;
    uint32_t mantissa = h & 0x3ffu;
    uint32_t bits;
    if (exponent == 0x1f) {
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else {
        exponent = 113;
        while (!(mantissa & 0x400u)) {
            mantissa <<= 1;
            --exponent;
        }
        bits = sign | (exponent << 23) | ((mantissa & 0x3ffu) << 13);
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("model conversion: " + what); }

// A constant in the model's own layout (NHWC activations, OHWI kernels).
struct Constant {
    Dims shape;
    std::vector<float> values;
};

Dims toNchw(const Dims& nhwc) {
    if (nhwc.size() != 4)
        return nhwc;
    return {nhwc[0], nhwc[3], nhwc[1], nhwc[2]};
}

int64_t nchwAxis(int64_t nhwcAxis) {
    static constexpr int64_t map[] = {0, 2, 3, 1};
    if (nhwcAxis < 0)
        nhwcAxis += 4;
    if (nhwcAxis < 0 || nhwcAxis > 3)
        fail("axis out of range");
    return map[nhwcAxis];
}

struct Padding {
    std::string begin, end;
};

Padding padsFor(tflite::Padding padding, const Dims& in, const Dims& kernel, const Dims& stride, const Dims& dilation) {
    if (padding == tflite::Padding::VALID)
        return {"0,0", "0,0"};
    Dims begin(2), end(2);
    for (size_t i = 0; i < 2; ++i) {
        const int64_t out = (in[i] + stride[i] - 1) / stride[i];
        const int64_t total = std::max<int64_t>((out - 1) * stride[i] + (kernel[i] - 1) * dilation[i] + 1 - in[i], 0);
        begin[i] = total / 2;
        end[i] = total - begin[i];
    }
    return {IrWriter::join(begin), IrWriter::join(end)};
}

class Converter {
public:
    explicit Converter(const TfliteModel& m) : m_(m) {}

    IrNetwork run() {
        const auto& g = m_.graph();
        if (g.inputs()->size() != 1 || g.outputs()->size() != 1)
            fail("the model must have one input and one output");
        const Dims inShape = m_.shape(m_.tensor(g.inputs()->Get(0)));
        if (inShape.size() != 4 || inShape[0] != 1 || inShape[3] != 3)
            fail("the input must be (1, H, W, 3)");
        const int64_t h = inShape[1], w = inShape[2];

        const auto [rgb, previous] = packedInput(h, w);
        ports_[g.inputs()->Get(0)] = rgb;
        for (const auto* op : *g.operators())
            convertOperator(*op);

        const Port probability = activation(g.outputs()->Get(0));
        if (probability.dims != Dims{1, 1, h, w})
            fail("the output must be (1, H, W, 1)");
        ir_.result(blend(probability, previous), "mask");
        return {ir_.xml(), ir_.weights()};
    }

private:
    Port scalar(const std::string& name, float v) { return ir_.constant(name, {1, 1, 1, 1}, {v}); }

    // The network input is (1, H, W, 4) bytes in frame order B, G, R, previous mask; the model
    // wants planar R, G, B in 0..1. The stand-in has no Transpose, so each channel is gathered
    // out of a (1, 1, H, W, 4) view, which already has the planar rank and order.
    std::pair<Port, Port> packedInput(int64_t h, int64_t w) {
        const Port input = ir_.parameter("input", {1, h, w, 4}, "u8");
        const Port real = ir_.op("Convert", "input/f32", {input}, {1, h, w, 4}, {{"destination_type", "f32"}});
        const Port planar = ir_.op("Gather", "input/planar",
                                   {real, ir_.constantI64("input/planar/index", {1, 1}, {0}),
                                    ir_.constantI64("input/planar/axis", {}, {0})},
                                   {1, 1, h, w, 4});
        const Port channelAxis = ir_.constantI64("input/channel_axis", {}, {4});
        const auto channel = [&](int64_t c, const std::string& name) {
            return ir_.op("Gather", name, {planar, ir_.constantI64(name + "/index", {}, {c}), channelAxis},
                          {1, 1, h, w});
        };
        const Port rgb = ir_.op("Concat", "input/rgb", {channel(2, "input/r"), channel(1, "input/g"), channel(0, "input/b")},
                                {1, 3, h, w}, {{"axis", "1"}});
        const Port scale = scalar("input/scale", 1.0f / 255.0f);
        const Port rgbScaled = ir_.op("Multiply", "input/rgb_scaled", {rgb, scale}, {1, 3, h, w});
        const Port previous = ir_.op("Multiply", "input/previous_mask", {channel(3, "input/mask"), scale}, {1, 1, h, w});
        return {rgbScaled, previous};
    }

    Port blend(const Port& p, const Port& m) {
        const Dims d = p.dims;
        const Port twoP = ir_.op("Multiply", "blend/2p", {p, scalar("blend/two", 2.0f)}, d);
        const Port centred = ir_.op("Add", "blend/2p_minus_1", {twoP, scalar("blend/minus_one", -1.0f)}, d);
        const Port confidence = ir_.op("Multiply", "blend/confidence", {centred, centred}, d);
        const Port scaled = ir_.op("Multiply", "blend/confidence_scaled",
                                   {confidence, scalar("blend/confidence_share", 1.0f - kNewWeightFloor)}, d);
        const Port weight = ir_.op("Add", "blend/weight", {scaled, scalar("blend/weight_floor", kNewWeightFloor)}, d);
        const Port negM = ir_.op("Multiply", "blend/minus_m", {m, scalar("blend/minus_one_m", -1.0f)}, d);
        const Port delta = ir_.op("Add", "blend/delta", {p, negM}, d);
        const Port step = ir_.op("Multiply", "blend/step", {weight, delta}, d);
        const Port mixed = ir_.op("Add", "blend/mixed", {m, step}, d);
        return ir_.op("Clamp", "blend/clamped", {mixed}, d, {{"min", "0"}, {"max", "1"}});
    }

    std::string tensorName(int index) const {
        const auto* n = m_.tensor(index).name();
        std::string s = n ? n->str() : "t";
        for (char& c : s)
            if (c == '"' || c == '<' || c == '>' || c == '&')
                c = '_';
        return s + "#" + std::to_string(index);
    }

    std::optional<Constant> constantOf(int index) const {
        if (const auto it = constants_.find(index); it != constants_.end())
            return it->second;
        const auto& t = m_.tensor(index);
        const auto data = m_.data(t);
        if (data.empty())
            return std::nullopt;
        Constant c{m_.shape(t), {}};
        switch (t.type()) {
        case tflite::TensorType::FLOAT32:
            c.values.resize(data.size() / 4);
            std::memcpy(c.values.data(), data.data(), c.values.size() * 4);
            break;
        case tflite::TensorType::FLOAT16:
            for (size_t i = 0; i + 1 < data.size(); i += 2)
                c.values.push_back(halfToFloat(uint16_t(data[i] | data[i + 1] << 8)));
            break;
        case tflite::TensorType::INT32:
            for (size_t i = 0; i + 3 < data.size(); i += 4) {
                int32_t v;
                std::memcpy(&v, data.data() + i, 4);
                c.values.push_back(float(v));
            }
            break;
        default: fail("constant of unsupported type in " + tensorName(index));
        }
        int64_t count = 1;
        for (const int64_t d : c.shape)
            count *= d;
        if (int64_t(c.values.size()) != count)
            fail("constant size does not match its shape in " + tensorName(index));
        return c;
    }

    Constant requireConstant(int index) const {
        auto c = constantOf(index);
        if (!c)
            fail("expected a constant: " + tensorName(index));
        return *c;
    }

    Port activation(int index) {
        if (const auto it = ports_.find(index); it != ports_.end())
            return it->second;
        const Constant c = requireConstant(index);
        std::vector<float> values = c.values;
        if (c.shape.size() == 4) {
            const int64_t n = c.shape[0], hh = c.shape[1], ww = c.shape[2], ch = c.shape[3];
            for (int64_t a = 0; a < n; ++a)
                for (int64_t y = 0; y < hh; ++y)
                    for (int64_t x = 0; x < ww; ++x)
                        for (int64_t k = 0; k < ch; ++k)
                            values[((a * ch + k) * hh + y) * ww + x] = c.values[((a * hh + y) * ww + x) * ch + k];
        }
        const Port p = ir_.constant(tensorName(index), toNchw(c.shape), values);
        ports_[index] = p;
        return p;
    }

    Dims outDims(const tflite::Operator& op, size_t i = 0) const {
        return toNchw(m_.shape(m_.tensor(op.outputs()->Get(i))));
    }

    void bind(const tflite::Operator& op, Port p) {
        const Dims expected = outDims(op);
        if (p.dims != expected)
            fail("shape of " + tensorName(op.outputs()->Get(0)) + " is " + IrWriter::join(p.dims) + ", the model says " +
                 IrWriter::join(expected));
        ports_[op.outputs()->Get(0)] = p;
    }

    Port fused(Port p, tflite::ActivationFunctionType act, const std::string& name) {
        switch (act) {
        case tflite::ActivationFunctionType::NONE: return p;
        case tflite::ActivationFunctionType::RELU: return ir_.op("Relu", name + "/relu", {p}, p.dims);
        case tflite::ActivationFunctionType::RELU6:
            return ir_.op("Clamp", name + "/relu6", {p}, p.dims, {{"min", "0"}, {"max", "6"}});
        case tflite::ActivationFunctionType::RELU_N1_TO_1:
            return ir_.op("Clamp", name + "/relu1", {p}, p.dims, {{"min", "-1"}, {"max", "1"}});
        default: fail("unsupported fused activation in " + name);
        }
    }

    Port biasAdd(const Port& p, int biasIndex, const std::string& name) {
        const Constant b = requireConstant(biasIndex);
        if (int64_t(b.values.size()) != p.dims[1])
            fail("bias size does not match the channels of " + name);
        return ir_.op("Add", name + "/bias", {p, ir_.constant(name + "/bias_values", {1, p.dims[1], 1, 1}, b.values)},
                      p.dims);
    }

    static Dims convOut(const Dims& in, int64_t channels, const Dims& kernel, const Dims& stride, const Dims& dilation,
                        const Padding& pads, tflite::Padding padding) {
        Dims out{in[0], channels, 0, 0};
        for (size_t i = 0; i < 2; ++i) {
            const int64_t k = (kernel[i] - 1) * dilation[i] + 1;
            out[2 + i] = padding == tflite::Padding::SAME ? (in[2 + i] + stride[i] - 1) / stride[i]
                                                          : (in[2 + i] - k) / stride[i] + 1;
        }
        (void)pads;
        return out;
    }

    void conv2d(const tflite::Operator& op, const std::string& name) {
        const auto* o = op.builtin_options_as_Conv2DOptions();
        if (!o)
            fail("convolution without options: " + name);
        const Port in = activation(op.inputs()->Get(0));
        const Constant w = requireConstant(op.inputs()->Get(1));
        if (w.shape.size() != 4 || w.shape[3] != in.dims[1])
            fail("convolution weights do not fit " + name);
        const int64_t oc = w.shape[0], kh = w.shape[1], kw = w.shape[2], ic = w.shape[3];
        std::vector<float> oihw(w.values.size());
        for (int64_t a = 0; a < oc; ++a)
            for (int64_t y = 0; y < kh; ++y)
                for (int64_t x = 0; x < kw; ++x)
                    for (int64_t c = 0; c < ic; ++c)
                        oihw[((a * ic + c) * kh + y) * kw + x] = w.values[((a * kh + y) * kw + x) * ic + c];
        emitConvolution(op, name, "Convolution", in, ir_.constant(name + "/weights", {oc, ic, kh, kw}, oihw), oc,
                        kh, kw, *o);
    }

    void depthwise(const tflite::Operator& op, const std::string& name) {
        const auto* o = op.builtin_options_as_DepthwiseConv2DOptions();
        if (!o)
            fail("depthwise convolution without options: " + name);
        const Port in = activation(op.inputs()->Get(0));
        const Constant w = requireConstant(op.inputs()->Get(1));
        const int64_t channels = in.dims[1];
        if (w.shape.size() != 4 || w.shape[0] != 1 || w.shape[3] % channels != 0)
            fail("depthwise weights do not fit " + name);
        const int64_t kh = w.shape[1], kw = w.shape[2], oc = w.shape[3], mult = oc / channels;
        std::vector<float> goihw(w.values.size());
        for (int64_t c = 0; c < oc; ++c)
            for (int64_t y = 0; y < kh; ++y)
                for (int64_t x = 0; x < kw; ++x)
                    goihw[(c * kh + y) * kw + x] = w.values[(y * kw + x) * oc + c];
        emitConvolution(op, name, "GroupConvolution", in,
                        ir_.constant(name + "/weights", {channels, mult, 1, kh, kw}, goihw), oc, kh, kw, *o);
    }

    // Both convolution kinds share padding, output shape, attributes, bias and activation.
    template <typename Options>
    void emitConvolution(const tflite::Operator& op, const std::string& name, const std::string& type,
                         const Port& in, const Port& weights, int64_t oc, int64_t kh, int64_t kw,
                         const Options& o) {
        const Dims stride{o.stride_h(), o.stride_w()}, dilation{o.dilation_h_factor(), o.dilation_w_factor()};
        const Padding pads = padsFor(o.padding(), {in.dims[2], in.dims[3]}, {kh, kw}, stride, dilation);
        const Dims out = convOut(in.dims, oc, {kh, kw}, stride, dilation, pads, o.padding());
        Port p = ir_.op(type, name, {in, weights}, out,
                        {{"strides", IrWriter::join(stride)},
                         {"dilations", IrWriter::join(dilation)},
                         {"pads_begin", pads.begin},
                         {"pads_end", pads.end},
                         {"auto_pad", "explicit"}});
        if (op.inputs()->size() > 2 && op.inputs()->Get(2) >= 0)
            p = biasAdd(p, op.inputs()->Get(2), name);
        bind(op, fused(p, o.fused_activation_function(), name));
    }

    // The custom op carries its parameters as three little-endian 32-bit words: padding
    // (1 same, 2 valid), stride across, stride down. Inputs: data, OHWI kernel, bias.
    void transposeConvBias(const tflite::Operator& op, const std::string& name) {
        const auto* custom = op.custom_options();
        if (!custom || custom->size() < 12 || op.inputs()->size() != 3)
            fail("transposed convolution without its parameters: " + name);
        int32_t params[3];
        std::memcpy(params, custom->data(), 12);
        const Port in = activation(op.inputs()->Get(0));
        const Constant w = requireConstant(op.inputs()->Get(1));
        if (w.shape.size() != 4 || w.shape[3] != in.dims[1])
            fail("transposed convolution weights do not fit " + name);
        const int64_t oc = w.shape[0], kh = w.shape[1], kw = w.shape[2], ic = w.shape[3];
        std::vector<float> iohw(w.values.size());
        for (int64_t a = 0; a < oc; ++a)
            for (int64_t y = 0; y < kh; ++y)
                for (int64_t x = 0; x < kw; ++x)
                    for (int64_t c = 0; c < ic; ++c)
                        iohw[((c * oc + a) * kh + y) * kw + x] = w.values[((a * kh + y) * kw + x) * ic + c];
        const Dims out = outDims(op);
        const Dims stride{params[2], params[1]};
        Dims begin(2), end(2);
        for (size_t i = 0; i < 2; ++i) {
            const int64_t k = i ? kw : kh;
            const int64_t total = (in.dims[2 + i] - 1) * stride[i] + k - out[2 + i];
            if (total < 0 || (params[0] == 2 && total != 0))
                fail("transposed convolution output size does not fit " + name);
            begin[i] = total / 2;
            end[i] = total - begin[i];
        }
        const Port p = ir_.op("ConvolutionBackpropData", name,
                              {in, ir_.constant(name + "/weights", {ic, oc, kh, kw}, iohw)}, out,
                              {{"strides", IrWriter::join(stride)},
                               {"dilations", "1,1"},
                               {"pads_begin", IrWriter::join(begin)},
                               {"pads_end", IrWriter::join(end)},
                               {"auto_pad", "explicit"}});
        bind(op, biasAdd(p, op.inputs()->Get(2), name));
    }

    void resizeBilinear(const tflite::Operator& op, const std::string& name) {
        const auto* o = op.builtin_options_as_ResizeBilinearOptions();
        const Port in = activation(op.inputs()->Get(0));
        const Constant size = requireConstant(op.inputs()->Get(1));
        if (size.values.size() != 2)
            fail("resize size must be two values: " + name);
        const bool alignCorners = o && o->align_corners();
        const bool halfPixel = o && o->half_pixel_centers();
        if (alignCorners && halfPixel)
            fail("resize with both corner alignment and half-pixel centres: " + name);
        // Corner alignment, half-pixel centres (clamped at the borders) or plain scaling.
        const std::string mode = alignCorners ? "align_corners" : halfPixel ? "half_pixel" : "asymmetric";
        const int64_t oh = int64_t(size.values[0]), ow = int64_t(size.values[1]);
        const Dims out{in.dims[0], in.dims[1], oh, ow};
        bind(op, ir_.op("Interpolate", name,
                        {in, ir_.constantI64(name + "/sizes", {2}, {oh, ow}),
                         ir_.constant(name + "/scales", {2}, {float(oh) / float(in.dims[2]), float(ow) / float(in.dims[3])}),
                         ir_.constantI64(name + "/axes", {2}, {2, 3})},
                        out,
                        {{"mode", "linear"},
                         {"shape_calculation_mode", "sizes"},
                         {"coordinate_transformation_mode", mode},
                         {"nearest_mode", "round_prefer_floor"},
                         {"antialias", "false"},
                         {"pads_begin", "0,0,0,0"},
                         {"pads_end", "0,0,0,0"},
                         {"cube_coeff", "-0.75"}},
                        "opset4"));
    }

    void mean(const tflite::Operator& op, const std::string& name) {
        const auto* o = op.builtin_options_as_ReducerOptions();
        const Port in = activation(op.inputs()->Get(0));
        const Constant axes = requireConstant(op.inputs()->Get(1));
        std::vector<int64_t> mapped;
        for (const float a : axes.values)
            mapped.push_back(in.dims.size() == 4 ? nchwAxis(int64_t(a)) : int64_t(a));
        bind(op, ir_.op("ReduceMean", name, {in, ir_.constantI64(name + "/axes", {int64_t(mapped.size())}, mapped)},
                        outDims(op), {{"keep_dims", o && o->keep_dims() ? "true" : "false"}}));
    }

    void binary(const tflite::Operator& op, const std::string& type, tflite::ActivationFunctionType act,
                const std::string& name) {
        const Port a = activation(op.inputs()->Get(0));
        const Port b = activation(op.inputs()->Get(1));
        bind(op, fused(ir_.op(type, name, {a, b}, outDims(op), {{"auto_broadcast", "numpy"}}), act, name));
    }

    void unary(const tflite::Operator& op, const std::string& type, const std::string& name,
               const std::string& version = "opset1") {
        const Port a = activation(op.inputs()->Get(0));
        bind(op, ir_.op(type, name, {a}, a.dims, {}, version));
    }

    void convertOperator(const tflite::Operator& op) {
        if (!op.inputs() || !op.outputs() || op.outputs()->size() != 1 || op.inputs()->size() == 0)
            fail("an operator without inputs or with other than one output");
        const int32_t code = m_.builtinCode(op);
        const std::string name = tensorName(op.outputs()->Get(0));
        using A = tflite::ActivationFunctionType;
        switch (code) {
        case 6:  // DEQUANTIZE: the FP16 weights, widened once here
            constants_[op.outputs()->Get(0)] = requireConstant(op.inputs()->Get(0));
            return;
        case 3: return conv2d(op, name);
        case 4: return depthwise(op, name);
        case 0: {
            const auto* o = op.builtin_options_as_AddOptions();
            return binary(op, "Add", o ? o->fused_activation_function() : A::NONE, name);
        }
        case 18: {
            const auto* o = op.builtin_options_as_MulOptions();
            return binary(op, "Multiply", o ? o->fused_activation_function() : A::NONE, name);
        }
        case 19: return unary(op, "Relu", name);
        case 14: return unary(op, "Sigmoid", name);
        case 117: return unary(op, "HSwish", name, "opset4");
        case 40: return mean(op, name);
        case 23: return resizeBilinear(op, name);
        case kCustomCode:
            if (m_.customCode(op) == "Convolution2DTransposeBias")
                return transposeConvBias(op, name);
            fail("unsupported custom operator " + m_.customCode(op));
        default: fail("unsupported operator " + builtinName(code));
        }
    }

    const TfliteModel& m_;
    IrWriter ir_;
    std::map<int, Port> ports_;
    std::map<int, Constant> constants_;
};

}  // namespace

IrNetwork convert(const TfliteModel& model) { return Converter(model).run(); }

}  // namespace vextra::model
