#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tflite_subset_generated.h"

namespace modeltest {

// Writes small TensorFlow Lite models through the converter's own schema, so converter tests
// need no model files.
class TfliteBuilder {
public:
    TfliteBuilder();

    int tensor(const std::vector<int32_t>& shape, const std::string& name = "t");
    int f16Constant(const std::vector<int32_t>& shape, const std::vector<float>& values);
    int f32Constant(const std::vector<int32_t>& shape, const std::vector<float>& values);
    int i32Constant(const std::vector<int32_t>& shape, const std::vector<int32_t>& values);

    // An f16 constant behind a DEQUANTIZE, as the segmentation model stores its weights.
    int dequantized(const std::vector<int32_t>& shape, const std::vector<float>& values);

    void conv2d(int in, int weights, int bias, int out, tflite::Padding padding, int stride);
    void depthwise(int in, int weights, int bias, int out, tflite::Padding padding, int stride);
    void resizeBilinear(int in, int size, int out, bool alignCorners, bool halfPixel);
    void transposeConvBias(int in, int weights, int bias, int out, int stride);
    void unary(int code, int in, int out);

    std::vector<uint8_t> finish(int input, int output);

private:
    uint32_t opcode(int builtin, const std::string& custom = "");
    int buffer(const void* data, size_t size);
    void op(uint32_t code, const std::vector<int32_t>& inputs, const std::vector<int32_t>& outputs,
            tflite::BuiltinOptions type = tflite::BuiltinOptions::NONE, flatbuffers::Offset<void> options = 0,
            const std::vector<uint8_t>& custom = {});

    flatbuffers::FlatBufferBuilder fbb_;
    std::vector<flatbuffers::Offset<tflite::Tensor>> tensors_;
    std::vector<flatbuffers::Offset<tflite::Buffer>> buffers_;
    std::vector<flatbuffers::Offset<tflite::Operator>> operators_;
    std::vector<std::pair<int, std::string>> codes_;
};

uint16_t halfOf(float v);

}  // namespace modeltest
