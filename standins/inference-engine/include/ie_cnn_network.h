#pragma once

#include "ie_input_info.hpp"

namespace InferenceEngine {

namespace impl {
struct NetworkState;
}

// A network as read. Copies share one network, as in the real engine.
class CNNNetwork {
 public:
  CNNNetwork() = default;
  explicit CNNNetwork(std::shared_ptr<impl::NetworkState> state) noexcept
      : state_(std::move(state)) {}

  InputsDataMap getInputsInfo() const;
  OutputsDataMap getOutputsInfo() const;
  const std::string& getName() const;
  size_t layerCount() const;

  explicit operator bool() const noexcept { return state_ != nullptr; }
  bool operator!() const noexcept { return state_ == nullptr; }

  // Not in the real interface: how the core and the tests reach the network read.
  const std::shared_ptr<impl::NetworkState>& state() const noexcept { return state_; }

 private:
  const impl::NetworkState& checked() const;

  std::shared_ptr<impl::NetworkState> state_;
};

}  // namespace InferenceEngine
