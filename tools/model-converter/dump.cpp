#include "dump.h"

#include <iomanip>

namespace vextra::model {

namespace {

void list(std::ostream& out, const flatbuffers::Vector<int32_t>* v) {
    out << '[';
    if (v)
        for (unsigned i = 0; i < v->size(); ++i)
            out << (i ? " " : "") << v->Get(i);
    out << ']';
}

void options(std::ostream& out, const tflite::Operator& op) {
    using BO = tflite::BuiltinOptions;
    switch (op.builtin_options_type()) {
    case BO::Conv2DOptions: {
        const auto* o = op.builtin_options_as_Conv2DOptions();
        out << " pad=" << int(o->padding()) << " stride=" << o->stride_h() << 'x' << o->stride_w()
            << " act=" << int(o->fused_activation_function()) << " dil=" << o->dilation_h_factor() << 'x'
            << o->dilation_w_factor();
        break;
    }
    case BO::DepthwiseConv2DOptions: {
        const auto* o = op.builtin_options_as_DepthwiseConv2DOptions();
        out << " pad=" << int(o->padding()) << " stride=" << o->stride_h() << 'x' << o->stride_w()
            << " mult=" << o->depth_multiplier() << " act=" << int(o->fused_activation_function())
            << " dil=" << o->dilation_h_factor() << 'x' << o->dilation_w_factor();
        break;
    }
    case BO::Pool2DOptions: {
        const auto* o = op.builtin_options_as_Pool2DOptions();
        out << " pad=" << int(o->padding()) << " stride=" << o->stride_h() << 'x' << o->stride_w() << " filter="
            << o->filter_height() << 'x' << o->filter_width() << " act=" << int(o->fused_activation_function());
        break;
    }
    case BO::AddOptions: out << " act=" << int(op.builtin_options_as_AddOptions()->fused_activation_function()); break;
    case BO::MulOptions: out << " act=" << int(op.builtin_options_as_MulOptions()->fused_activation_function()); break;
    case BO::ReducerOptions: out << " keep_dims=" << op.builtin_options_as_ReducerOptions()->keep_dims(); break;
    case BO::ResizeBilinearOptions: {
        const auto* o = op.builtin_options_as_ResizeBilinearOptions();
        out << " align_corners=" << o->align_corners() << " half_pixel_centers=" << o->half_pixel_centers();
        break;
    }
    default: out << " options_type=" << int(op.builtin_options_type()); break;
    }
    if (const auto* c = op.custom_options()) {
        out << " custom=";
        for (const uint8_t b : *c)
            out << std::hex << std::setw(2) << std::setfill('0') << int(b) << std::dec;
    }
}

}  // namespace

void dump(const TfliteModel& m, std::ostream& out) {
    const auto& g = m.graph();
    out << "inputs ";
    list(out, g.inputs());
    out << " outputs ";
    list(out, g.outputs());
    out << '\n';
    for (unsigned i = 0; i < g.tensors()->size(); ++i) {
        const auto& t = *g.tensors()->Get(i);
        out << "tensor " << i << ' ' << typeName(t.type()) << ' ';
        list(out, t.shape());
        out << " bytes=" << m.data(t).size() << ' ' << (t.name() ? t.name()->str() : "") << '\n';
    }
    for (unsigned i = 0; i < g.operators()->size(); ++i) {
        const auto& op = *g.operators()->Get(i);
        const int32_t code = m.builtinCode(op);
        out << "op " << i << ' ' << (code == kCustomCode ? "CUSTOM:" + m.customCode(op) : builtinName(code)) << " in=";
        list(out, op.inputs());
        out << " out=";
        list(out, op.outputs());
        options(out, op);
        out << '\n';
    }
}

}  // namespace vextra::model
