#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <inference_engine.hpp>

namespace ietest {

using Dims = std::vector<size_t>;

struct Out {
  size_t layer;
  size_t port;
  Dims dims;
};

// Writes IR version 10 documents and their weights from a few calls. Input ports are numbered
// from 0 and output ports after them, as the real converter does.
class IrBuilder {
 public:
  Out parameter(const std::string& name, const Dims& dims, const std::string& type = "f32") {
    return layer("Parameter", name, {{"element_type", type}, {"shape", join(dims)}}, {}, {dims})[0];
  }

  Out constant(const std::string& name, const Dims& dims, const std::vector<float>& values,
               const std::string& type = "f32") {
    const size_t offset = weights.size();
    for (const float v : values) append(type, v);
    return layer("Const", name,
                 {{"element_type", type},
                  {"shape", join(dims)},
                  {"offset", std::to_string(offset)},
                  {"size", std::to_string(weights.size() - offset)}},
                 {}, {dims})[0];
  }

  std::vector<Out> layer(const std::string& type, const std::string& name,
                         const std::map<std::string, std::string>& data,
                         const std::vector<Out>& inputs, const std::vector<Dims>& outputs,
                         const std::string& version = "opset1") {
    const size_t id = layers_.size();
    std::string text = "<layer id=\"" + std::to_string(id) + "\" name=\"" + name + "\" type=\"" +
                       type + "\" version=\"" + version + "\">";
    if (!data.empty()) {
      text += "<data";
      for (const auto& [k, v] : data) text += " " + k + "=\"" + v + "\"";
      text += "/>";
    }
    size_t port = 0;
    if (!inputs.empty()) {
      text += "<input>";
      for (const Out& in : inputs) {
        text += portText(port, in.dims);
        edges_.push_back("<edge from-layer=\"" + std::to_string(in.layer) + "\" from-port=\"" +
                         std::to_string(in.port) + "\" to-layer=\"" + std::to_string(id) +
                         "\" to-port=\"" + std::to_string(port) + "\"/>");
        ++port;
      }
      text += "</input>";
    }
    std::vector<Out> outs;
    if (!outputs.empty()) {
      text += "<output>";
      for (const Dims& d : outputs) {
        text += portText(port, d);
        outs.push_back({id, port++, d});
      }
      text += "</output>";
    }
    layers_.push_back(text + "</layer>");
    return outs;
  }

  // A one-output operation.
  Out op(const std::string& type, const std::string& name, const std::vector<Out>& inputs,
         const Dims& output, const std::map<std::string, std::string>& data = {},
         const std::string& version = "opset1") {
    return layer(type, name, data, inputs, {output}, version)[0];
  }

  void result(const Out& in, const std::string& name = "") {
    layer("Result", name.empty() ? "result" + std::to_string(layers_.size()) : name, {}, {in}, {});
  }

  std::string xml() const {
    std::string text = "<?xml version=\"1.0\"?>\n<net name=\"test\" version=\"10\"><layers>";
    for (const std::string& l : layers_) text += l;
    text += "</layers><edges>";
    for (const std::string& e : edges_) text += e;
    return text + "</edges></net>";
  }

  InferenceEngine::Blob::CPtr weightsBlob() {
    using namespace InferenceEngine;
    if (weights.empty()) weights.push_back(0);  // a blob over no memory cannot be made
    return make_shared_blob<uint8_t>(TensorDesc(Precision::U8, {weights.size()}, Layout::ANY),
                                     weights.data(), weights.size());
  }

  static std::string join(const Dims& dims) {
    std::string text;
    for (size_t i = 0; i < dims.size(); ++i) text += (i ? "," : "") + std::to_string(dims[i]);
    return text;
  }

  std::vector<uint8_t> weights;

 private:
  static std::string portText(size_t id, const Dims& dims) {
    std::string text = "<port id=\"" + std::to_string(id) + "\">";
    for (const size_t d : dims) text += "<dim>" + std::to_string(d) + "</dim>";
    return text + "</port>";
  }

  template <typename T>
  void appendRaw(T v) {
    const size_t at = weights.size();
    weights.resize(at + sizeof(T));
    std::memcpy(weights.data() + at, &v, sizeof(T));
  }

  void append(const std::string& type, float v) {
    if (type == "f32")
      appendRaw(v);
    else if (type == "i64")
      appendRaw(int64_t(v));
    else if (type == "i32")
      appendRaw(int32_t(v));
    else if (type == "u8")
      appendRaw(uint8_t(v));
    else if (type == "f16")
      appendRaw(halfOf(v));
  }

  // Exact for the small values the tests use (integers and simple binary fractions).
  static uint16_t halfOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    if ((bits & 0x7fffffffu) == 0) return uint16_t(sign);
    const int exponent = int((bits >> 23) & 0xff) - 127 + 15;
    if (exponent <= 0)
      return uint16_t(sign);  // below the normal range: zero is near enough for tests
    return uint16_t(sign | uint32_t(exponent) << 10 | ((bits >> 13) & 0x3ffu));
  }

  std::vector<std::string> layers_;
  std::vector<std::string> edges_;
};

// Loads a built network on the CPU, sets inputs from floats and returns each output as floats.
class Runner {
 public:
  explicit Runner(IrBuilder& ir) {
    using namespace InferenceEngine;
    Core core;
    network_ = core.ReadNetwork(ir.xml(), ir.weightsBlob());
    executable_ = core.LoadNetwork(network_, "CPU");
    request_ = executable_.CreateInferRequest();
  }

  void set(const std::string& name, const std::vector<float>& values) {
    auto blob = InferenceEngine::as<InferenceEngine::MemoryBlob>(request_.GetBlob(name));
    std::memcpy(blob->wmap().as<float*>(), values.data(), values.size() * sizeof(float));
  }

  std::vector<float> get(const std::string& name) {
    auto blob = InferenceEngine::as<InferenceEngine::MemoryBlob>(request_.GetBlob(name));
    const auto memory = blob->rmap();
    switch (blob->getTensorDesc().getPrecision()) {
      case InferenceEngine::Precision::FP32: return values(memory.as<const float*>(), blob->size());
      case InferenceEngine::Precision::I32:
        return values(memory.as<const int32_t*>(), blob->size());
      case InferenceEngine::Precision::I64:
        return values(memory.as<const int64_t*>(), blob->size());
      case InferenceEngine::Precision::U8: return values(memory.as<const uint8_t*>(), blob->size());
      default: throw std::runtime_error("precision not handled by the test");
    }
  }

  void infer() { request_.Infer(); }

  InferenceEngine::CNNNetwork& network() { return network_; }

 private:
  template <typename T>
  static std::vector<float> values(const T* data, size_t count) {
    return std::vector<float>(data, data + count);
  }

  InferenceEngine::CNNNetwork network_;
  InferenceEngine::ExecutableNetwork executable_;
  InferenceEngine::InferRequest request_;
};

}  // namespace ietest
