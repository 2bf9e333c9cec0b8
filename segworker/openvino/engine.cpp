#include "engine.h"

#include <array>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "decipher.h"
#include "embedded_resources.h"
#include "network_key.h"
#include "temp_file.h"

namespace mivra::foreground_detection::openvino {

namespace ie = InferenceEngine;

namespace {

struct Device {
  const char* plugin;
  const char* name;
};

constexpr std::array<Device, 1> kDevices = {{{"MKLDNNPlugin", "CPU"}}};

// The engine's plug-in list starts empty; the one plug-in needed is registered by name.
constexpr std::string_view kPluginConfiguration = "<ie><plugins></plugins></ie>";

struct ModelData {
  std::string graph;
  std::vector<uint8_t> weights;
};

std::vector<uint8_t> decipherEmbedded(std::string_view path) {
  const std::span<const uint8_t> enciphered = EmbeddedResources::instance().open(path);
  return decipherResource(enciphered.data(), enciphered.size(), kNetworkKey.data(),
                          kNetworkIv.data());
}

ModelData readModelData() {
  // Both are opened before either is deciphered, so a missing one costs no work.
  EmbeddedResources::instance().open("inference_engine/graph");
  EmbeddedResources::instance().open("inference_engine/weights");
  const std::vector<uint8_t> graph = decipherEmbedded("inference_engine/graph");
  return {std::string(graph.begin(), graph.end()), decipherEmbedded("inference_engine/weights")};
}

// Sizes are read at fixed positions of 4-D shapes; anything else is refused before reading.
const ie::SizeVector& fourDims(const ie::DataPtr& data, const char* what) {
  if (!data) throw std::runtime_error(std::string(what) + " has no data");
  const ie::SizeVector& dims = data->getTensorDesc().getDims();
  if (dims.size() != 4) throw std::runtime_error(std::string(what) + " is not four-dimensional");
  return dims;
}

}  // namespace

void Engine::load(int deviceIndex) {
  const Device& device = kDevices.at(size_t(deviceIndex));
  core.RegisterPlugin(device.plugin, device.name);

  ie::CNNNetwork cnn;
  {
    ModelData model = readModelData();
    // An empty plaintext (deciphering failed) would make an empty blob; refuse it here.
    if (model.weights.empty()) throw std::runtime_error("the network weights could not be deciphered");
    ie::Blob::CPtr weights = ie::make_shared_blob<uint8_t>(
        ie::TensorDesc(ie::Precision::U8, {model.weights.size()}, ie::Layout::ANY), model.weights.data(),
        model.weights.size());
    cnn = core.ReadNetwork(model.graph, weights);
  }  // the deciphered model is freed here

  ie::InputsDataMap inputs = cnn.getInputsInfo();
  for (auto& [name, input] : inputs) {
    if (!input) throw std::runtime_error("input " + name + " has no data");
    input->setPrecision(ie::Precision::U8);
  }
  network = core.LoadNetwork(cnn, device.name, {});

  const ie::OutputsDataMap outputs = cnn.getOutputsInfo();
  if (inputs.empty() || outputs.empty()) throw std::runtime_error("the network has no input or no output");
  const ie::SizeVector& in = fourDims(inputs.begin()->second->getInputData(), "the input");
  const ie::SizeVector& out = fourDims(outputs.begin()->second, "the output");
  info.inputName = inputs.begin()->first;
  info.inputWidth = uint32_t(in[2]);
  info.inputHeight = uint32_t(in[1]);
  info.outputName = outputs.begin()->first;
  info.outputWidth = uint32_t(out[3]);
  info.outputHeight = uint32_t(out[2]);
}

std::unique_ptr<Engine> createEngine(int deviceIndex) noexcept {
  try {
    const TempFile configuration = TempFile::create();
    if (configuration.path().empty()) return nullptr;
    {
      std::ofstream out(configuration.path(), std::ios::binary | std::ios::trunc);
      out.write(kPluginConfiguration.data(), std::streamsize(kPluginConfiguration.size()));
    }  // a failed write shows up as the core's failure to read it
    const std::u8string utf8 = configuration.path().u8string();
    auto engine = std::make_unique<Engine>(std::string(utf8.begin(), utf8.end()));
    engine->load(deviceIndex);
    return engine;  // the file goes once load has finished, whatever its outcome
  } catch (...) {
    return nullptr;
  }
}

}  // namespace mivra::foreground_detection::openvino
