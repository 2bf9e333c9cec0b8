#include <filesystem>

#include <pugixml.hpp>

#include "errors.h"
#include "plugin.h"

namespace InferenceEngine::impl {

namespace {

// "MKLDNNPlugin", "libMKLDNNPlugin.so", "MKLDNNPlugin.dll" and paths to them are one plug-in.
std::string libraryStem(const std::string& pluginName) {
  std::string stem = std::filesystem::path(pluginName).filename().string();
  for (const char* suffix : {".so", ".dll"}) {
    const std::string s = suffix;
    if (stem.size() > s.size() && stem.compare(stem.size() - s.size(), s.size(), s) == 0)
      stem.resize(stem.size() - s.size());
  }
  if (stem.rfind("lib", 0) == 0 && stem.size() > 3) stem.erase(0, 3);
  return stem;
}

}  // namespace

std::shared_ptr<const Plugin> findBuiltInPlugin(const std::string& pluginName) {
  if (libraryStem(pluginName) == "MKLDNNPlugin") return makeCpuPlugin();
  return nullptr;
}

void PluginRegistry::add(const std::string& deviceName, const std::string& pluginName) {
  if (deviceName.empty() || deviceName.find('.') != std::string::npos)
    fail("Device name must not be empty or contain '.': '" + deviceName + "'", PARAMETER_MISMATCH);
  if (devices_.contains(deviceName))
    fail("Device with \"" + deviceName + "\" is already registered in the InferenceEngine",
         PARAMETER_MISMATCH);
  std::shared_ptr<const Plugin> plugin = findBuiltInPlugin(pluginName);
  if (!plugin) fail("Cannot load plugin '" + pluginName + "'", NOT_FOUND);
  devices_.emplace(deviceName, std::move(plugin));
}

const Plugin& PluginRegistry::device(const std::string& deviceName) const {
  const auto it = devices_.find(deviceName);
  if (it == devices_.end())
    fail("Device with \"" + deviceName + "\" name is not registered in the InferenceEngine",
         NOT_FOUND);
  return *it->second;
}

std::vector<std::string> PluginRegistry::devices() const {
  std::vector<std::string> names;
  for (const auto& entry : devices_) names.push_back(entry.first);
  return names;
}

std::vector<std::pair<std::string, std::string>> readPluginConfig(const std::string& path) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(path.c_str());
  if (!parsed) fail("Cannot read plug-in configuration '" + path + "': " + parsed.description());
  const pugi::xml_node plugins = document.child("ie").child("plugins");
  if (!plugins) fail("Plug-in configuration '" + path + "' has no <ie><plugins>");
  std::vector<std::pair<std::string, std::string>> entries;
  for (const pugi::xml_node plugin : plugins.children("plugin")) {
    const pugi::xml_attribute name = plugin.attribute("name");
    const pugi::xml_attribute location = plugin.attribute("location");
    if (!name || !location)
      fail("Plug-in configuration '" + path + "': <plugin> needs 'name' and 'location'");
    entries.emplace_back(name.value(), location.value());
  }
  return entries;
}

}  // namespace InferenceEngine::impl
