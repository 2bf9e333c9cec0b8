#pragma once

#include "ie_blob.h"
#include "ie_cnn_network.h"
#include "ie_executable_network.hpp"

namespace InferenceEngine {

namespace impl {
class PluginRegistry;
}

class Core {
 public:
  // An empty path stands for the engine's own plug-in list, which holds the CPU plug-in.
  explicit Core(const std::string& xmlConfigFile = {});

  void RegisterPlugin(const std::string& pluginName, const std::string& deviceName);
  std::vector<std::string> GetAvailableDevices() const;

  // Reads an IR document from text. The weights are copied; the caller may free them afterwards.
  CNNNetwork ReadNetwork(const std::string& model, const Blob::CPtr& weights) const;

  ExecutableNetwork LoadNetwork(const CNNNetwork& network, const std::string& deviceName,
                                const std::map<std::string, std::string>& config = {});

 private:
  std::shared_ptr<impl::PluginRegistry> registry_;
};

}  // namespace InferenceEngine
