#pragma once

#include "ie_common.h"
#include "ie_precision.hpp"

namespace InferenceEngine {

enum Layout : uint8_t {
  ANY = 0,
  NCHW = 1,
  NHWC = 2,
  NCDHW = 3,
  NDHWC = 4,
  OIHW = 64,
  GOIHW = 65,
  OIDHW = 66,
  GOIDHW = 67,
  SCALAR = 95,
  C = 96,
  CHW = 128,
  HW = 192,
  NC = 193,
  CN = 194,
  BLOCKED = 200
};

// Describes a dense tensor whose memory follows the order of its dimensions.
class TensorDesc {
 public:
  TensorDesc() = default;
  TensorDesc(const Precision& precision, const SizeVector& dims, Layout layout);
  explicit TensorDesc(const Precision& precision, Layout layout = ANY);

  const SizeVector& getDims() const noexcept { return dims_; }
  void setDims(const SizeVector& dims);
  const Precision& getPrecision() const noexcept { return precision_; }
  void setPrecision(const Precision& precision) noexcept { precision_ = precision; }
  Layout getLayout() const noexcept { return layout_; }
  void setLayout(Layout layout);

  bool operator==(const TensorDesc& other) const noexcept;
  bool operator!=(const TensorDesc& other) const noexcept { return !(*this == other); }

  // The layout that the real engine gives a tensor of this rank by default.
  static Layout getLayoutByDims(const SizeVector& dims) noexcept;

 private:
  Precision precision_;
  SizeVector dims_;
  Layout layout_ = ANY;
};

}  // namespace InferenceEngine
