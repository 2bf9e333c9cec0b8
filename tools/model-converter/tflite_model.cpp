#include "tflite_model.h"

#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace vextra::model {

TfliteModel::TfliteModel(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + file.string());
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    open();
}

TfliteModel::TfliteModel(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) { open(); }

void TfliteModel::open() {
    flatbuffers::Verifier verifier(bytes_.data(), bytes_.size());
    if (!tflite::ModelBufferHasIdentifier(bytes_.data()) || !tflite::VerifyModelBuffer(verifier))
        throw std::runtime_error("not a valid TensorFlow Lite model");
    model_ = tflite::GetModel(bytes_.data());
    if (!model_->subgraphs() || model_->subgraphs()->size() != 1)
        throw std::runtime_error("the model must have exactly one subgraph");
    const auto* g = model_->subgraphs()->Get(0);
    if (!g->tensors() || !g->operators() || !g->inputs() || !g->outputs())
        throw std::runtime_error("the subgraph lacks tensors, operators, inputs or outputs");
}

const tflite::SubGraph& TfliteModel::graph() const { return *model_->subgraphs()->Get(0); }

const tflite::Tensor& TfliteModel::tensor(int index) const {
    const auto* tensors = graph().tensors();
    if (index < 0 || unsigned(index) >= tensors->size())
        throw std::runtime_error("tensor index out of range: " + std::to_string(index));
    return *tensors->Get(unsigned(index));
}

std::span<const uint8_t> TfliteModel::data(const tflite::Tensor& t) const {
    const auto* buffers = model_->buffers();
    if (!buffers || t.buffer() >= buffers->size())
        return {};
    const auto* d = buffers->Get(t.buffer())->data();
    if (!d)
        return {};
    return {d->data(), d->size()};
}

std::vector<int64_t> TfliteModel::shape(const tflite::Tensor& t) const {
    std::vector<int64_t> dims;
    if (t.shape())
        for (const int d : *t.shape())
            dims.push_back(d);
    return dims;
}

int32_t TfliteModel::builtinCode(const tflite::Operator& op) const {
    const auto* codes = model_->operator_codes();
    if (!codes || op.opcode_index() >= codes->size())
        throw std::runtime_error("operator code index out of range");
    const auto* code = codes->Get(op.opcode_index());
    // Files written before codes outgrew a byte keep the code only in the older field.
    return std::max<int32_t>(code->builtin_code(), code->deprecated_builtin_code());
}

std::string TfliteModel::customCode(const tflite::Operator& op) const {
    const auto* code = model_->operator_codes()->Get(op.opcode_index());
    return code->custom_code() ? code->custom_code()->str() : std::string();
}

std::string builtinName(int32_t code) {
    static const std::map<int32_t, std::string> names = {
        {0, "ADD"},        {1, "AVERAGE_POOL_2D"}, {2, "CONCATENATION"},   {3, "CONV_2D"},
        {4, "DEPTHWISE_CONV_2D"}, {6, "DEQUANTIZE"}, {14, "LOGISTIC"},     {17, "MAX_POOL_2D"},
        {18, "MUL"},       {19, "RELU"},           {21, "RELU6"},          {22, "RESHAPE"},
        {23, "RESIZE_BILINEAR"}, {32, "CUSTOM"},   {34, "PAD"},            {40, "MEAN"},
        {117, "HARD_SWISH"}};
    const auto it = names.find(code);
    return it == names.end() ? "BUILTIN_" + std::to_string(code) : it->second;
}

std::string typeName(tflite::TensorType type) {
    switch (type) {
    case tflite::TensorType::FLOAT32: return "f32";
    case tflite::TensorType::FLOAT16: return "f16";
    case tflite::TensorType::INT32: return "i32";
    case tflite::TensorType::UINT8: return "u8";
    case tflite::TensorType::INT64: return "i64";
    }
    return "type" + std::to_string(int(type));
}

}  // namespace vextra::model
