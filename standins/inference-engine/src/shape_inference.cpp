#include "shape_inference.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "element_types.h"
#include "errors.h"
#include "reference_kernels.h"

namespace InferenceEngine::impl {

namespace {

class Checker {
 public:
  Checker(const Graph& graph, const Node& node) : graph_(graph), node_(node) {}

  [[noreturn]] void error(const std::string& message) const {
    fail(node_.type + " '" + node_.name + "': " + message);
  }
  void require(bool condition, const std::string& message) const {
    if (!condition) error(message);
  }
  void inputCount(size_t low, size_t high) const {
    require(node_.inputs.size() >= low && node_.inputs.size() <= high, "wrong number of inputs");
  }

  const Shape& inShape(size_t i) const {
    const OutputRef& ref = node_.inputs.at(i);
    return graph_.nodes[ref.node].outputShapes.at(ref.port);
  }
  ElementType inType(size_t i) const {
    const OutputRef& ref = node_.inputs.at(i);
    return graph_.nodes[ref.node].outputTypes.at(ref.port);
  }
  std::vector<int64_t> constInts(size_t i) const {
    const Node& producer = graph_.nodes[node_.inputs.at(i).node];
    require(producer.kind == OpKind::Const, "input " + std::to_string(i) + " must be a Const");
    std::vector<int64_t> values;
    for (const float v : *producer.constant) {
      require(std::isfinite(v) && v == std::trunc(v),
              "input " + std::to_string(i) + " must hold integers");
      values.push_back(int64_t(v));
    }
    return values;
  }
  std::vector<float> constFloats(size_t i) const {
    const Node& producer = graph_.nodes[node_.inputs.at(i).node];
    require(producer.kind == OpKind::Const, "input " + std::to_string(i) + " must be a Const");
    return *producer.constant;
  }

  std::string text(const char* key, const std::string& fallback) const {
    const auto it = node_.data.find(key);
    return it == node_.data.end() ? fallback : it->second;
  }
  std::string requiredText(const char* key) const {
    const auto it = node_.data.find(key);
    require(it != node_.data.end(), std::string("missing attribute '") + key + "'");
    return it->second;
  }
  std::vector<int64_t> intList(const char* key, const std::string& fallback) const {
    const std::string value = text(key, fallback);
    std::vector<int64_t> items;
    const char* p = value.data();
    const char* end = p + value.size();
    while (p < end) {
      while (p < end && *p == ' ') ++p;
      int64_t item = 0;
      const auto [next, ec] = std::from_chars(p, end, item);
      require(ec == std::errc(), std::string("invalid attribute '") + key + "'");
      items.push_back(item);
      p = next;
      while (p < end && *p == ' ') ++p;
      if (p < end) {
        require(*p == ',', std::string("invalid attribute '") + key + "'");
        ++p;
      }
    }
    return items;
  }
  int64_t integer(const char* key) const {
    const std::vector<int64_t> list = intList(key, "");
    require(list.size() == 1, std::string("attribute '") + key + "' must be one integer");
    return list[0];
  }
  float real(const char* key) const {
    const std::string value = requiredText(key);
    char* end = nullptr;
    const float parsed = std::strtof(value.c_str(), &end);
    require(!value.empty() && end == value.c_str() + value.size() && !std::isnan(parsed),
            std::string("invalid attribute '") + key + "'");
    return parsed;
  }
  bool flag(const char* key, bool fallback) const {
    std::string value = text(key, fallback ? "true" : "false");
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    require(value == "true" || value == "false" || value == "1" || value == "0",
            std::string("invalid attribute '") + key + "'");
    return value == "true" || value == "1";
  }
  size_t axis(int64_t value, size_t rank) const {
    require(value >= -int64_t(rank) && value < int64_t(rank), "axis out of range");
    return size_t(value < 0 ? value + int64_t(rank) : value);
  }

 private:
  const Graph& graph_;
  const Node& node_;
};

std::array<size_t, 2> pair(const Checker& c, const char* key, const std::string& fallback,
                           bool positive) {
  const std::vector<int64_t> list = c.intList(key, fallback);
  c.require(list.size() == 2,
            std::string("attribute '") + key + "' needs one value per spatial axis");
  for (const int64_t v : list)
    // Bounded so that no size arithmetic on them can wrap.
    c.require((positive ? v > 0 : v >= 0) && v < (int64_t(1) << 31),
              std::string("attribute '") + key + "' out of range");
  return {size_t(list[0]), size_t(list[1])};
}

ConvAttrs convAttrs(const Checker& c, bool transposed) {
  ConvAttrs a;
  a.strides = pair(c, "strides", "", true);
  a.dilations = pair(c, "dilations", "1,1", true);
  const std::string autoPad = c.text("auto_pad", "explicit");
  if (autoPad == "explicit" || autoPad == "notset") {
    a.padBegin = pair(c, "pads_begin", "", false);
    a.padEnd = pair(c, "pads_end", "", false);
  } else if (autoPad != "valid" &&
             (transposed || (autoPad != "same_upper" && autoPad != "same_lower"))) {
    c.error("unsupported auto_pad '" + autoPad + "'");
  }
  return a;
}

void samePads(ConvAttrs& a, const std::string& autoPad, const Shape& in, const Shape& kernel) {
  if (autoPad != "same_upper" && autoPad != "same_lower") return;
  for (size_t i = 0; i < 2; ++i) {
    const size_t out = (in[i] + a.strides[i] - 1) / a.strides[i];
    const size_t effective = (kernel[i] - 1) * a.dilations[i] + 1;
    const size_t needed = (out - 1) * a.strides[i] + effective;
    const size_t total = needed > in[i] ? needed - in[i] : 0;
    const size_t small = total / 2;
    a.padBegin[i] = autoPad == "same_upper" ? small : total - small;
    a.padEnd[i] = total - a.padBegin[i];
  }
}

Shape convolution(const Checker& c, Node& node, bool grouped) {
  c.inputCount(2, 2);
  const Shape& in = c.inShape(0);
  const Shape& w = c.inShape(1);
  c.require(in.size() == 4, "only 2-D convolution (rank 4 data) is supported");
  c.require(w.size() == (grouped ? 5u : 4u), "weights have the wrong rank");
  ConvAttrs a = convAttrs(c, false);
  const size_t groups = grouped ? w[0] : 1;
  const size_t outPerGroup = grouped ? w[1] : w[0];
  const size_t inPerGroup = grouped ? w[2] : w[1];
  const Shape kernel{w[w.size() - 2], w[w.size() - 1]};
  c.require(groups > 0 && outPerGroup > 0 && kernel[0] > 0 && kernel[1] > 0, "empty weights");
  c.require(in[1] == groups * inPerGroup, "input channels do not match the weights");
  a.groups = groups;
  samePads(a, c.text("auto_pad", "explicit"), {in[2], in[3]}, kernel);

  Shape out{in[0], groups * outPerGroup, 0, 0};
  for (size_t i = 0; i < 2; ++i) {
    const size_t padded = in[2 + i] + a.padBegin[i] + a.padEnd[i];
    const size_t effective = (kernel[i] - 1) * a.dilations[i] + 1;
    c.require(padded >= effective, "kernel larger than the padded input");
    out[2 + i] = (padded - effective) / a.strides[i] + 1;
  }
  node.attrs = a;
  return out;
}

Shape backpropData(const Checker& c, Node& node) {
  c.inputCount(2, 2);
  const Shape& in = c.inShape(0);
  const Shape& w = c.inShape(1);
  c.require(in.size() == 4, "only 2-D convolution (rank 4 data) is supported");
  c.require(w.size() == 4, "weights have the wrong rank");
  c.require(w[0] == in[1], "input channels do not match the weights");
  c.require(w[1] > 0 && w[2] > 0 && w[3] > 0, "empty weights");
  const ConvAttrs a = convAttrs(c, true);
  const std::array<size_t, 2> outputPadding = pair(c, "output_padding", "0,0", false);
  Shape out{in[0], w[1], 0, 0};
  for (size_t i = 0; i < 2; ++i) {
    c.require(in[2 + i] > 0, "empty input");
    c.require(outputPadding[i] < a.strides[i], "output_padding must be below the stride");
    const size_t full =
        a.strides[i] * (in[2 + i] - 1) + (w[2 + i] - 1) * a.dilations[i] + 1 + outputPadding[i];
    c.require(full > a.padBegin[i] + a.padEnd[i], "pads remove the whole output");
    out[2 + i] = full - a.padBegin[i] - a.padEnd[i];
  }
  node.attrs = a;
  return out;
}

Shape reduceMean(const Checker& c, Node& node) {
  c.inputCount(2, 2);
  const Shape& in = c.inShape(0);
  c.require(c.inShape(1).size() <= 1, "axes must be a scalar or a list");
  ReduceAttrs a;
  a.reduced.assign(in.size(), false);
  for (const int64_t v : c.constInts(1)) a.reduced[c.axis(v, in.size())] = true;
  const bool keep = c.flag("keep_dims", false);
  Shape out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (!a.reduced[i])
      out.push_back(in[i]);
    else if (keep)
      out.push_back(1);
    c.require(!a.reduced[i] || in[i] > 0, "mean over an empty axis");
  }
  node.attrs = a;
  return out;
}

CoordinateMode coordinateMode(const Checker& c) {
  const std::string mode = c.text("coordinate_transformation_mode", "half_pixel");
  static const std::map<std::string, CoordinateMode> table = {
      {"half_pixel", CoordinateMode::half_pixel},
      {"pytorch_half_pixel", CoordinateMode::pytorch_half_pixel},
      {"asymmetric", CoordinateMode::asymmetric},
      {"tf_half_pixel_for_nn", CoordinateMode::tf_half_pixel_for_nn},
      {"align_corners", CoordinateMode::align_corners}};
  const auto it = table.find(mode);
  if (it == table.end()) c.error("unsupported coordinate_transformation_mode '" + mode + "'");
  return it->second;
}

Shape interpolate(const Checker& c, Node& node) {
  c.require(node.version == "opset4", "only the opset4 Interpolate is supported");
  c.inputCount(3, 4);
  const Shape& in = c.inShape(0);
  const std::string mode = c.requiredText("mode");
  c.require(mode == "linear" || mode == "linear_onnx", "unsupported mode '" + mode + "'");
  c.require(!c.flag("antialias", false), "antialias is not supported");
  for (const int64_t p : c.intList("pads_begin", "0")) c.require(p == 0, "pads are not supported");
  for (const int64_t p : c.intList("pads_end", "0")) c.require(p == 0, "pads are not supported");

  std::vector<size_t> axes;
  if (node.inputs.size() == 4) {
    for (const int64_t v : c.constInts(3)) axes.push_back(c.axis(v, in.size()));
  } else {
    for (size_t i = 0; i < in.size(); ++i) axes.push_back(i);
  }
  for (size_t i = 0; i < axes.size(); ++i)
    for (size_t j = 0; j < i; ++j) c.require(axes[i] != axes[j], "repeated axis");

  InterpolateAttrs a;
  a.coordinates = coordinateMode(c);
  a.scales.assign(in.size(), 1.0f);
  Shape out = in;
  const std::string calculation = c.requiredText("shape_calculation_mode");
  if (calculation == "sizes") {
    const std::vector<int64_t> sizes = c.constInts(1);
    c.require(sizes.size() == axes.size(), "sizes do not match the axes");
    for (size_t i = 0; i < axes.size(); ++i) {
      c.require(sizes[i] > 0 && sizes[i] < (int64_t(1) << 31), "size out of range");
      c.require(in[axes[i]] > 0, "empty input");
      out[axes[i]] = size_t(sizes[i]);
      a.scales[axes[i]] = float(out[axes[i]]) / float(in[axes[i]]);
    }
  } else if (calculation == "scales") {
    const std::vector<float> scales = c.constFloats(2);
    c.require(scales.size() == axes.size(), "scales do not match the axes");
    for (size_t i = 0; i < axes.size(); ++i) {
      c.require(std::isfinite(scales[i]) && scales[i] > 0, "scale out of range");
      const double size = std::floor(double(in[axes[i]]) * scales[i] + 1e-5);
      c.require(size >= 1 && size < double(int64_t(1) << 31), "size out of range");
      out[axes[i]] = size_t(size);
      a.scales[axes[i]] = scales[i];
    }
  } else {
    c.error("unsupported shape_calculation_mode '" + calculation + "'");
  }
  node.attrs = a;
  return out;
}

Shape concat(const Checker& c, Node& node) {
  c.require(!node.inputs.empty(), "no inputs");
  const Shape& first = c.inShape(0);
  const size_t axis = c.axis(c.integer("axis"), first.size());
  Shape out = first;
  out[axis] = 0;
  for (size_t i = 0; i < node.inputs.size(); ++i) {
    const Shape& s = c.inShape(i);
    c.require(s.size() == first.size(), "inputs of different rank");
    for (size_t d = 0; d < s.size(); ++d)
      c.require(d == axis || s[d] == first[d], "inputs differ outside the axis");
    out[axis] += s[axis];
  }
  node.attrs = AxisAttrs{axis};
  return out;
}

std::vector<Shape> split(const Checker& c, Node& node) {
  c.inputCount(2, 2);
  const Shape& in = c.inShape(0);
  const std::vector<int64_t> axisValue = c.constInts(1);
  c.require(axisValue.size() == 1 && c.inShape(1).size() <= 1, "axis must be one value");
  const size_t axis = c.axis(axisValue[0], in.size());
  const int64_t parts = c.integer("num_splits");
  c.require(parts > 0 && in[axis] % size_t(parts) == 0, "num_splits does not divide the axis");
  Shape part = in;
  part[axis] /= size_t(parts);
  node.attrs = AxisAttrs{axis};
  return std::vector<Shape>(size_t(parts), part);
}

Shape gather(const Checker& c, Node& node) {
  c.inputCount(3, 3);
  const Shape& data = c.inShape(0);
  const Shape& indices = c.inShape(1);
  const std::vector<int64_t> axisValue = c.constInts(2);
  c.require(axisValue.size() == 1 && c.inShape(2).size() <= 1, "axis must be one value");
  c.require(c.text("batch_dims", "0") == "0", "batch_dims is not supported");
  c.require(!data.empty(), "data must have at least one axis");
  const size_t axis = c.axis(axisValue[0], data.size());
  Shape out(data.begin(), data.begin() + std::ptrdiff_t(axis));
  out.insert(out.end(), indices.begin(), indices.end());
  out.insert(out.end(), data.begin() + std::ptrdiff_t(axis) + 1, data.end());
  node.attrs = AxisAttrs{axis};
  return out;
}

std::vector<Shape> inferNode(const Graph& graph, Node& node, std::vector<ElementType>& types) {
  const Checker c(graph, node);
  const auto sameType = [&] { types = {c.inType(0)}; };
  switch (node.kind) {
    case OpKind::Parameter: {
      c.inputCount(0, 0);
      types = {parseElementType(c.requiredText("element_type"))};
      const std::vector<int64_t> dims = c.intList("shape", "");
      Shape shape;
      for (const int64_t d : dims) {
        c.require(d >= 0, "dynamic shapes are not supported");
        shape.push_back(size_t(d));
      }
      return {shape};
    }
    case OpKind::Const: {
      c.inputCount(0, 0);
      types = {parseElementType(c.requiredText("element_type"))};
      Shape shape;
      for (const int64_t d : c.intList("shape", "")) shape.push_back(size_t(d));
      return {shape};
    }
    case OpKind::Convert:
      c.inputCount(1, 1);
      node.attrs = ConvertAttrs{parseElementType(c.requiredText("destination_type"))};
      types = {std::get<ConvertAttrs>(node.attrs).destination};
      return {c.inShape(0)};
    case OpKind::Convolution:
    case OpKind::GroupConvolution:
      sameType();
      return {convolution(c, node, node.kind == OpKind::GroupConvolution)};
    case OpKind::ConvolutionBackpropData: sameType(); return {backpropData(c, node)};
    case OpKind::Add:
    case OpKind::Multiply: {
      c.inputCount(2, 2);
      sameType();
      const std::string broadcast = c.text("auto_broadcast", "numpy");
      if (broadcast == "none") {
        c.require(c.inShape(0) == c.inShape(1), "shapes differ and auto_broadcast is none");
        return {c.inShape(0)};
      }
      c.require(broadcast == "numpy", "unsupported auto_broadcast '" + broadcast + "'");
      try {
        return {broadcastShapes(c.inShape(0), c.inShape(1))};
      } catch (const Exception& e) {
        c.error(e.what());
      }
    }
    case OpKind::Relu:
    case OpKind::HSwish:
    case OpKind::Sigmoid:
    case OpKind::Result:
      c.inputCount(1, 1);
      sameType();
      return {c.inShape(0)};
    case OpKind::Clamp: {
      c.inputCount(1, 1);
      sameType();
      const ClampAttrs a{c.real("min"), c.real("max")};
      c.require(a.min <= a.max, "min above max");
      node.attrs = a;
      return {c.inShape(0)};
    }
    case OpKind::ReduceMean: sameType(); return {reduceMean(c, node)};
    case OpKind::Interpolate: sameType(); return {interpolate(c, node)};
    case OpKind::Concat: sameType(); return {concat(c, node)};
    case OpKind::Split: {
      std::vector<Shape> parts = split(c, node);
      types.assign(parts.size(), c.inType(0));
      return parts;
    }
    case OpKind::Gather: sameType(); return {gather(c, node)};
  }
  c.error("unsupported operation");
}

// Weights stored as f16 reach their consumer through a Convert; as a Const they count as
// constant data for shape inputs and for convolution weights.
void foldConvertedConstant(const Graph& graph, Node& node) {
  if (node.kind != OpKind::Convert || graph.nodes[node.inputs[0].node].kind != OpKind::Const)
    return;
  const std::vector<float>& source = *graph.nodes[node.inputs[0].node].constant;
  std::vector<float> values(source.size());
  convert(std::get<ConvertAttrs>(node.attrs).destination, source, values);
  node.kind = OpKind::Const;
  node.constant = std::make_shared<const std::vector<float>>(std::move(values));
  node.inputs.clear();
  node.declaredInputs.clear();
  node.attrs = {};
}

}  // namespace

Shape broadcastShapes(const Shape& a, const Shape& b) {
  Shape out(std::max(a.size(), b.size()), 1);
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t da = i < a.size() ? a[a.size() - 1 - i] : 1;
    const size_t db = i < b.size() ? b[b.size() - 1 - i] : 1;
    if (da != db && da != 1 && db != 1)
      fail("shapes " + toString(a) + " and " + toString(b) + " do not broadcast");
    out[out.size() - 1 - i] = da == 1 ? db : da;
  }
  return out;
}

void inferShapes(Graph& graph) {
  for (Node& node : graph.nodes) {
    const Checker c(graph, node);
    for (size_t i = 0; i < node.inputs.size(); ++i)
      c.require(c.inShape(i) == node.declaredInputs[i],
                "input " + std::to_string(i) + " is declared " + toString(node.declaredInputs[i]) +
                    " but receives " + toString(c.inShape(i)));
    std::vector<ElementType> types;
    std::vector<Shape> shapes = inferNode(graph, node, types);
    const size_t expectedOutputs = node.kind == OpKind::Result ? 0 : shapes.size();
    c.require(node.declaredOutputs.size() == expectedOutputs, "wrong number of output ports");
    for (size_t i = 0; i < node.declaredOutputs.size(); ++i)
      c.require(node.declaredOutputs[i] == shapes[i],
                "output " + std::to_string(i) + " is declared " +
                    toString(node.declaredOutputs[i]) + " but is " + toString(shapes[i]));
    if (node.kind == OpKind::Const)
      c.require(elementCount(shapes[0]) == node.constant->size(), "data does not fit the shape");
    for (const Shape& s : shapes)
      c.require(elementCount(s) < (size_t(1) << 32), "tensor too large");
    node.outputShapes = std::move(shapes);
    node.outputTypes = std::move(types);
    foldConvertedConstant(graph, node);
  }
  if (graph.parameters.empty() || graph.results.empty())
    fail("the network needs at least one Parameter and one Result");
}

}  // namespace InferenceEngine::impl
