#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <inference_engine.hpp>

namespace mivra::foreground_detection::openvino {

// The first input (batch, rows, columns, channels) and first output (batch, channels, rows,
// columns) of the loaded network.
struct NetworkInfo {
  std::string inputName;
  std::string outputName;
  uint32_t inputWidth = 0;
  uint32_t inputHeight = 0;
  uint32_t outputWidth = 0;
  uint32_t outputHeight = 0;
};

// The worker's inference core and its loaded network. The core is declared first so that
// it outlives what it loaded.
class Engine {
 public:
  explicit Engine(const std::string& configurationFile) : core(configurationFile) {}

  // Registers the device's plug-in, reads the embedded network and loads it. Throws.
  void load(int deviceIndex);

  InferenceEngine::Core core;
  InferenceEngine::ExecutableNetwork network;
  NetworkInfo info;
};

// The engine for a device, set up from the embedded network; empty on any failure.
std::unique_ptr<Engine> createEngine(int deviceIndex) noexcept;

}  // namespace mivra::foreground_detection::openvino
