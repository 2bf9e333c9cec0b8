#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace InferenceEngine::impl {

using Shape = std::vector<size_t>;

enum class ElementType { f32, f16, i64, i32, u8, i8 };

enum class OpKind {
  Parameter,
  Const,
  Convert,
  Convolution,
  GroupConvolution,
  ConvolutionBackpropData,
  Add,
  Multiply,
  Relu,
  HSwish,
  Sigmoid,
  ReduceMean,
  Interpolate,
  Clamp,
  Concat,
  Split,
  Gather,
  Result
};

struct OutputRef {
  size_t node = 0;  // index into Graph::nodes
  size_t port = 0;  // output index of that node
};

struct ConvAttrs {
  std::array<size_t, 2> strides{1, 1};
  std::array<size_t, 2> dilations{1, 1};
  std::array<size_t, 2> padBegin{0, 0};
  std::array<size_t, 2> padEnd{0, 0};
  size_t groups = 1;
};

struct ReduceAttrs {
  std::vector<bool> reduced;  // per input axis
};

enum class CoordinateMode {
  half_pixel,
  pytorch_half_pixel,
  asymmetric,
  tf_half_pixel_for_nn,
  align_corners
};

struct InterpolateAttrs {
  CoordinateMode coordinates = CoordinateMode::half_pixel;
  std::vector<float> scales;  // per input axis, output over input
};

struct ClampAttrs {
  float min = 0;
  float max = 0;
};

struct AxisAttrs {
  size_t axis = 0;
};

struct ConvertAttrs {
  ElementType destination = ElementType::f32;
};

using OpAttrs = std::variant<std::monostate, ConvAttrs, ReduceAttrs, InterpolateAttrs, ClampAttrs,
                             AxisAttrs, ConvertAttrs>;

struct Node {
  std::string name;
  std::string type;
  std::string version;
  OpKind kind = OpKind::Parameter;
  std::map<std::string, std::string> data;
  std::vector<Shape> declaredInputs;
  std::vector<Shape> declaredOutputs;
  std::vector<OutputRef> inputs;

  std::vector<Shape> outputShapes;
  std::vector<ElementType> outputTypes;
  std::shared_ptr<const std::vector<float>> constant;  // Const only, owned by the graph
  OpAttrs attrs;
};

// Nodes in an order where every producer precedes its consumers.
struct Graph {
  std::string name;
  std::vector<Node> nodes;
  std::vector<size_t> parameters;  // in document order
  std::vector<size_t> results;     // in document order
};

size_t elementCount(const Shape& shape) noexcept;
std::string toString(const Shape& shape);

}  // namespace InferenceEngine::impl
