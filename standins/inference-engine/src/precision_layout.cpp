#include <numeric>

#include "ie_blob.h"
#include "ie_layouts.h"
#include "ie_precision.hpp"

namespace InferenceEngine {

size_t Precision::size() const noexcept {
  switch (value_) {
    case FP64:
    case I64:
    case U64: return 8;
    case FP32:
    case I32: return 4;
    case FP16:
    case BF16:
    case Q78:
    case I16:
    case U16: return 2;
    case U8:
    case I8:
    case BOOL:
    case BIN: return 1;
    default: return 0;
  }
}

const char* Precision::name() const noexcept {
  switch (value_) {
    case UNSPECIFIED: return "UNSPECIFIED";
    case MIXED: return "MIXED";
    case FP32: return "FP32";
    case FP16: return "FP16";
    case BF16: return "BF16";
    case FP64: return "FP64";
    case Q78: return "Q78";
    case I16: return "I16";
    case U8: return "U8";
    case I8: return "I8";
    case U16: return "U16";
    case I32: return "I32";
    case I64: return "I64";
    case U64: return "U64";
    case BIN: return "BIN";
    case BOOL: return "BOOL";
    case CUSTOM: return "CUSTOM";
  }
  return "UNSPECIFIED";
}

namespace {

// The rank that a layout implies, or -1 when it fits any rank.
int layoutRank(Layout layout) noexcept {
  switch (layout) {
    case SCALAR: return 0;
    case C: return 1;
    case HW:
    case NC:
    case CN: return 2;
    case CHW: return 3;
    case NCHW:
    case NHWC:
    case OIHW: return 4;
    case NCDHW:
    case NDHWC:
    case GOIHW:
    case OIDHW: return 5;
    case GOIDHW: return 6;
    default: return -1;
  }
}

void checkRank(Layout layout, const SizeVector& dims) {
  const int rank = layoutRank(layout);
  if (rank >= 0 && size_t(rank) != dims.size())
    throw Exception("Layout does not match the number of dimensions", PARAMETER_MISMATCH);
}

}  // namespace

TensorDesc::TensorDesc(const Precision& precision, const SizeVector& dims, Layout layout)
    : precision_(precision), dims_(dims), layout_(layout) {
  checkRank(layout, dims);
}

TensorDesc::TensorDesc(const Precision& precision, Layout layout)
    : precision_(precision), layout_(layout) {}

void TensorDesc::setDims(const SizeVector& dims) {
  checkRank(layout_, dims);
  dims_ = dims;
}

void TensorDesc::setLayout(Layout layout) {
  checkRank(layout, dims_);
  layout_ = layout;
}

bool TensorDesc::operator==(const TensorDesc& other) const noexcept {
  return precision_ == other.precision_ && dims_ == other.dims_ && layout_ == other.layout_;
}

Layout TensorDesc::getLayoutByDims(const SizeVector& dims) noexcept {
  switch (dims.size()) {
    case 0: return SCALAR;
    case 1: return C;
    case 2: return NC;
    case 3: return CHW;
    case 4: return NCHW;
    case 5: return NCDHW;
    default: return BLOCKED;
  }
}

size_t Blob::size() const noexcept {
  if (tensorDesc_.getLayout() == SCALAR) return 1;
  const SizeVector& dims = tensorDesc_.getDims();
  return std::accumulate(dims.begin(), dims.end(), size_t(1), std::multiplies<size_t>());
}

}  // namespace InferenceEngine
