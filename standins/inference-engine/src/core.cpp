#include <optional>
#include <span>

#include "errors.h"
#include "faults.h"
#include "ie_core.hpp"
#include "ie_standin_faults.hpp"
#include "ir_reader.h"
#include "plugin.h"
#include "shape_inference.h"

namespace InferenceEngine {

using impl::checkInjectedFailure;
using standin::Call;

Core::Core(const std::string& xmlConfigFile) : registry_(std::make_shared<impl::PluginRegistry>()) {
  checkInjectedFailure(Call::CoreConstruction);
  if (xmlConfigFile.empty()) {
    registry_->add("CPU", "MKLDNNPlugin");
    return;
  }
  for (const auto& [device, location] : impl::readPluginConfig(xmlConfigFile))
    registry_->add(device, location);
}

void Core::RegisterPlugin(const std::string& pluginName, const std::string& deviceName) {
  checkInjectedFailure(Call::RegisterPlugin);
  registry_->add(deviceName, pluginName);
}

std::vector<std::string> Core::GetAvailableDevices() const { return registry_->devices(); }

CNNNetwork Core::ReadNetwork(const std::string& model, const Blob::CPtr& weights) const {
  checkInjectedFailure(Call::ReadNetwork);
  std::span<const uint8_t> bytes;
  std::optional<LockedMemory<const void>> mapping;
  if (weights) {
    const auto* memory = dynamic_cast<const MemoryBlob*>(weights.get());
    if (memory == nullptr) impl::fail("weights must be a memory blob", PARAMETER_MISMATCH);
    mapping.emplace(memory->rmap());
    const auto* data = mapping->as<const uint8_t*>();
    if (data == nullptr && weights->byteSize() != 0)
      impl::fail("weights blob holds no memory", NOT_ALLOCATED);
    bytes = {data, weights->byteSize()};
  }
  impl::Graph graph = impl::readIr(model, bytes);
  impl::inferShapes(graph);
  return CNNNetwork(impl::makeNetworkState(std::move(graph)));
}

ExecutableNetwork Core::LoadNetwork(const CNNNetwork& network, const std::string& deviceName,
                                    const std::map<std::string, std::string>& config) {
  checkInjectedFailure(Call::LoadNetwork);
  if (!network.state()) impl::fail("CNNNetwork was not initialized.", NETWORK_NOT_READ);
  const impl::Plugin& plugin = registry_->device(deviceName);
  return ExecutableNetwork(plugin.compile(*network.state(), config));
}

impl::CompiledNetwork& ExecutableNetwork::checked() const {
  if (!network_) impl::fail("ExecutableNetwork was not initialized.", NETWORK_NOT_LOADED);
  return *network_;
}

InferRequest ExecutableNetwork::CreateInferRequest() {
  checkInjectedFailure(Call::CreateInferRequest);
  checked();
  return InferRequest(std::make_shared<impl::Request>(network_));
}

ConstInputsDataMap ExecutableNetwork::GetInputsInfo() const { return checked().inputs(); }

ConstOutputsDataMap ExecutableNetwork::GetOutputsInfo() const { return checked().outputs(); }

impl::Request& InferRequest::checked() const {
  if (!request_) impl::fail("InferRequest was not initialized.", INFER_NOT_STARTED);
  return *request_;
}

Blob::Ptr InferRequest::GetBlob(const std::string& name) {
  checkInjectedFailure(Call::GetBlob);
  return checked().blob(name);
}

void InferRequest::Infer() {
  checkInjectedFailure(Call::Infer);
  checked().infer();
}

}  // namespace InferenceEngine
