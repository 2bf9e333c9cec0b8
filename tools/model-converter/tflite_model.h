#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tflite_subset_generated.h"

namespace vextra::model {

// A verified TensorFlow Lite model held in memory for as long as its tables are read.
class TfliteModel {
public:
    explicit TfliteModel(const std::filesystem::path& file);
    explicit TfliteModel(std::vector<uint8_t> bytes);

    const tflite::Model& model() const { return *model_; }
    const tflite::SubGraph& graph() const;

    const tflite::Tensor& tensor(int index) const;
    std::span<const uint8_t> data(const tflite::Tensor& t) const;
    std::vector<int64_t> shape(const tflite::Tensor& t) const;
    int32_t builtinCode(const tflite::Operator& op) const;
    std::string customCode(const tflite::Operator& op) const;

private:
    void open();

    std::vector<uint8_t> bytes_;
    const tflite::Model* model_ = nullptr;
};

constexpr int32_t kCustomCode = 32;

std::string builtinName(int32_t code);
std::string typeName(tflite::TensorType type);

}  // namespace vextra::model
