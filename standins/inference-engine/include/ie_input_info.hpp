#pragma once

#include "ie_data.h"

namespace InferenceEngine {

class InputInfo {
 public:
  using Ptr = std::shared_ptr<InputInfo>;
  using CPtr = std::shared_ptr<const InputInfo>;

  const DataPtr& getInputData() const noexcept { return inputData_; }
  void setInputData(DataPtr data) noexcept { inputData_ = std::move(data); }

  // The precision of the data the caller hands in; the engine converts it for the network.
  void setPrecision(const Precision& precision) {
    requireData();
    inputData_->setPrecision(precision);
  }
  Precision getPrecision() const {
    requireData();
    return inputData_->getPrecision();
  }
  const std::string& name() const {
    requireData();
    return inputData_->getName();
  }
  const TensorDesc& getTensorDesc() const {
    requireData();
    return inputData_->getTensorDesc();
  }
  Layout getLayout() const { return getTensorDesc().getLayout(); }
  void setLayout(Layout layout) {
    requireData();
    inputData_->setLayout(layout);
  }

 private:
  void requireData() const {
    if (!inputData_) throw Exception("Data is empty!", NOT_ALLOCATED);
  }

  DataPtr inputData_;
};

using InputsDataMap = std::map<std::string, InputInfo::Ptr>;
using ConstInputsDataMap = std::map<std::string, InputInfo::CPtr>;

}  // namespace InferenceEngine
