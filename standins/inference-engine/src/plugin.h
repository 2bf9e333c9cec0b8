#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "compiled_network.h"
#include "network_state.h"

namespace InferenceEngine::impl {

class Plugin {
 public:
  virtual ~Plugin() = default;
  virtual std::shared_ptr<CompiledNetwork> compile(
      const NetworkState& network, const std::map<std::string, std::string>& config) const = 0;
};

// The plug-in that a plug-in name or library file name stands for; null when there is none.
std::shared_ptr<const Plugin> findBuiltInPlugin(const std::string& pluginName);

// Devices registered with one core.
class PluginRegistry {
 public:
  void add(const std::string& deviceName, const std::string& pluginName);
  const Plugin& device(const std::string& deviceName) const;
  std::vector<std::string> devices() const;

 private:
  std::map<std::string, std::shared_ptr<const Plugin>> devices_;
};

// Device name and plug-in location of each entry of a plug-in configuration document.
std::vector<std::pair<std::string, std::string>> readPluginConfig(const std::string& path);

std::shared_ptr<const Plugin> makeCpuPlugin();

}  // namespace InferenceEngine::impl
