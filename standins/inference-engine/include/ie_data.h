#pragma once

#include "ie_common.h"
#include "ie_layouts.h"

namespace InferenceEngine {

// A named tensor of the network: an input's data or an output.
class Data {
 public:
  Data(const std::string& name, const TensorDesc& desc) : name_(name), tensorDesc_(desc) {}

  const std::string& getName() const noexcept { return name_; }
  const TensorDesc& getTensorDesc() const noexcept { return tensorDesc_; }
  const SizeVector& getDims() const noexcept { return tensorDesc_.getDims(); }
  const Precision& getPrecision() const noexcept { return tensorDesc_.getPrecision(); }
  void setPrecision(const Precision& precision) { tensorDesc_.setPrecision(precision); }
  Layout getLayout() const noexcept { return tensorDesc_.getLayout(); }
  void setLayout(Layout layout) { tensorDesc_.setLayout(layout); }

 private:
  std::string name_;
  TensorDesc tensorDesc_;
};

using DataPtr = std::shared_ptr<Data>;
using CDataPtr = std::shared_ptr<const Data>;
using OutputsDataMap = std::map<std::string, DataPtr>;
using ConstOutputsDataMap = std::map<std::string, CDataPtr>;

}  // namespace InferenceEngine
