#pragma once

#include "ie_data.h"
#include "ie_infer_request.hpp"
#include "ie_input_info.hpp"

namespace InferenceEngine {

namespace impl {
class CompiledNetwork;
}

// A network loaded on a device. Copies share the loaded network, which lives as long as
// any copy or any request made from it.
class ExecutableNetwork {
 public:
  ExecutableNetwork() = default;
  explicit ExecutableNetwork(std::shared_ptr<impl::CompiledNetwork> network) noexcept
      : network_(std::move(network)) {}

  InferRequest CreateInferRequest();
  ConstInputsDataMap GetInputsInfo() const;
  ConstOutputsDataMap GetOutputsInfo() const;

  explicit operator bool() const noexcept { return network_ != nullptr; }
  bool operator!() const noexcept { return network_ == nullptr; }

 private:
  impl::CompiledNetwork& checked() const;

  std::shared_ptr<impl::CompiledNetwork> network_;
};

}  // namespace InferenceEngine
