#include "tflite_builder.h"

#include <cmath>
#include <cstring>

namespace modeltest {

// Round to nearest for normal values; the tests use values that f16 holds exactly.
uint16_t halfOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    if ((bits & 0x7fffffffu) == 0)
        return uint16_t(sign);
    const int exponent = int((bits >> 23) & 0xff) - 127 + 15;
    if (exponent <= 0)
        return uint16_t(sign);
    return uint16_t(sign | uint32_t(exponent) << 10 | ((bits >> 13) & 0x3ffu));
}

TfliteBuilder::TfliteBuilder() { buffers_.push_back(tflite::CreateBuffer(fbb_)); }

int TfliteBuilder::buffer(const void* data, size_t size) {
    const auto v = fbb_.CreateVector(static_cast<const uint8_t*>(data), size);
    buffers_.push_back(tflite::CreateBuffer(fbb_, v));
    return int(buffers_.size() - 1);
}

int TfliteBuilder::tensor(const std::vector<int32_t>& shape, const std::string& name) {
    tensors_.push_back(tflite::CreateTensor(fbb_, fbb_.CreateVector(shape), tflite::TensorType::FLOAT32, 0,
                                            fbb_.CreateString(name)));
    return int(tensors_.size() - 1);
}

int TfliteBuilder::f16Constant(const std::vector<int32_t>& shape, const std::vector<float>& values) {
    std::vector<uint16_t> half;
    for (const float v : values)
        half.push_back(halfOf(v));
    const int b = buffer(half.data(), half.size() * 2);
    tensors_.push_back(tflite::CreateTensor(fbb_, fbb_.CreateVector(shape), tflite::TensorType::FLOAT16, uint32_t(b),
                                            fbb_.CreateString("w16")));
    return int(tensors_.size() - 1);
}

int TfliteBuilder::f32Constant(const std::vector<int32_t>& shape, const std::vector<float>& values) {
    const int b = buffer(values.data(), values.size() * 4);
    tensors_.push_back(tflite::CreateTensor(fbb_, fbb_.CreateVector(shape), tflite::TensorType::FLOAT32, uint32_t(b),
                                            fbb_.CreateString("w32")));
    return int(tensors_.size() - 1);
}

int TfliteBuilder::i32Constant(const std::vector<int32_t>& shape, const std::vector<int32_t>& values) {
    const int b = buffer(values.data(), values.size() * 4);
    tensors_.push_back(tflite::CreateTensor(fbb_, fbb_.CreateVector(shape), tflite::TensorType::INT32, uint32_t(b),
                                            fbb_.CreateString("i32")));
    return int(tensors_.size() - 1);
}

int TfliteBuilder::dequantized(const std::vector<int32_t>& shape, const std::vector<float>& values) {
    const int half = f16Constant(shape, values);
    const int out = tensor(shape, "dequantized");
    op(opcode(6), {half}, {out});
    return out;
}

uint32_t TfliteBuilder::opcode(int builtin, const std::string& custom) {
    for (size_t i = 0; i < codes_.size(); ++i)
        if (codes_[i].first == builtin && codes_[i].second == custom)
            return uint32_t(i);
    codes_.emplace_back(builtin, custom);
    return uint32_t(codes_.size() - 1);
}

void TfliteBuilder::op(uint32_t code, const std::vector<int32_t>& inputs, const std::vector<int32_t>& outputs,
                       tflite::BuiltinOptions type, flatbuffers::Offset<void> options,
                       const std::vector<uint8_t>& custom) {
    const auto in = fbb_.CreateVector(inputs);
    const auto out = fbb_.CreateVector(outputs);
    const auto customOffset = custom.empty() ? 0 : fbb_.CreateVector(custom);
    operators_.push_back(tflite::CreateOperator(fbb_, code, in, out, type, options, customOffset));
}

void TfliteBuilder::conv2d(int in, int weights, int bias, int out, tflite::Padding padding, int stride) {
    const auto o = tflite::CreateConv2DOptions(fbb_, padding, stride, stride).Union();
    op(opcode(3), {in, weights, bias}, {out}, tflite::BuiltinOptions::Conv2DOptions, o);
}

void TfliteBuilder::depthwise(int in, int weights, int bias, int out, tflite::Padding padding, int stride) {
    const auto o = tflite::CreateDepthwiseConv2DOptions(fbb_, padding, stride, stride, 1).Union();
    op(opcode(4), {in, weights, bias}, {out}, tflite::BuiltinOptions::DepthwiseConv2DOptions, o);
}

void TfliteBuilder::resizeBilinear(int in, int size, int out, bool alignCorners, bool halfPixel) {
    const auto o = tflite::CreateResizeBilinearOptions(fbb_, alignCorners, halfPixel).Union();
    op(opcode(23), {in, size}, {out}, tflite::BuiltinOptions::ResizeBilinearOptions, o);
}

void TfliteBuilder::transposeConvBias(int in, int weights, int bias, int out, int stride) {
    const int32_t params[3] = {1, stride, stride};
    std::vector<uint8_t> custom(12);
    std::memcpy(custom.data(), params, 12);
    op(opcode(32, "Convolution2DTransposeBias"), {in, weights, bias}, {out}, tflite::BuiltinOptions::NONE, 0, custom);
}

void TfliteBuilder::unary(int code, int in, int out) { op(opcode(code), {in}, {out}); }

std::vector<uint8_t> TfliteBuilder::finish(int input, int output) {
    std::vector<flatbuffers::Offset<tflite::OperatorCode>> codes;
    for (const auto& [builtin, custom] : codes_)
        codes.push_back(tflite::CreateOperatorCode(fbb_, int8_t(std::min(builtin, 127)),
                                                   custom.empty() ? 0 : fbb_.CreateString(custom), 1, builtin));
    const auto graph = tflite::CreateSubGraph(fbb_, fbb_.CreateVector(tensors_), fbb_.CreateVector(std::vector{input}),
                                              fbb_.CreateVector(std::vector{output}), fbb_.CreateVector(operators_),
                                              fbb_.CreateString("main"));
    const auto model = tflite::CreateModel(fbb_, 3, fbb_.CreateVector(codes), fbb_.CreateVector(std::vector{graph}),
                                           fbb_.CreateString("test"), fbb_.CreateVector(buffers_));
    tflite::FinishModelBuffer(fbb_, model);
    return {fbb_.GetBufferPointer(), fbb_.GetBufferPointer() + fbb_.GetSize()};
}

}  // namespace modeltest
