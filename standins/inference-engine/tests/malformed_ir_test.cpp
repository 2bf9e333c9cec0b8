#include <gtest/gtest.h>

#include "ir_builder.h"

namespace {

using ietest::IrBuilder;
using ietest::Out;

// Parameter -> Convolution (weights 1x1x2x2 at offset 0, 16 bytes) -> Relu -> Result.
struct BaseNetwork {
  BaseNetwork() {
    const Out in = ir.parameter("in", {1, 1, 3, 3});
    const Out w = ir.constant("w", {1, 1, 2, 2}, {1, 0, 0, 1});
    const Out conv = ir.op("Convolution", "conv", {in, w}, {1, 1, 2, 2},
                           {{"strides", "1,1"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}});
    ir.result(ir.op("Relu", "relu", {conv}, {1, 1, 2, 2}));
  }
  IrBuilder ir;
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(MalformedIr, TheBaseNetworkReads) {
  BaseNetwork base;
  InferenceEngine::Core core;
  EXPECT_NO_THROW(core.ReadNetwork(base.ir.xml(), base.ir.weightsBlob()));
}

TEST(MalformedIr, EachDefectRaises) {
  struct Case {
    const char* name;
    std::string from, to;
    std::string from2 = {}, to2 = {};
  };
  const Case cases[] = {
      {"truncated document", "</net>", ""},
      {"no net element", "<net name=\"test\" version=\"10\">", "<network version=\"10\">", "</net>",
       "</network>"},
      {"other IR version", "version=\"10\"", "version=\"7\""},
      {"unknown operation", "type=\"Relu\"", "type=\"Frobnicate\""},
      {"duplicate layer id", "<layer id=\"3\"", "<layer id=\"2\""},
      {"edge to a missing layer", "to-layer=\"4\"", "to-layer=\"9\""},
      {"edge from a missing port", "from-port=\"2\" to-layer=\"3\"",
       "from-port=\"7\" to-layer=\"3\""},
      {"input without an edge",
       "<edge from-layer=\"3\" from-port=\"1\" to-layer=\"4\" to-port=\"0\"/>", ""},
      {"two edges into one input", "</edges>",
       "<edge from-layer=\"2\" from-port=\"2\" to-layer=\"3\" to-port=\"0\"/></edges>"},
      {"cycle", "<edge from-layer=\"0\" from-port=\"0\" to-layer=\"2\" to-port=\"0\"/>",
       "<edge from-layer=\"3\" from-port=\"1\" to-layer=\"2\" to-port=\"0\"/>"},
      {"declared output shape differs",
       "<port id=\"2\"><dim>1</dim><dim>1</dim><dim>2</dim><dim>2</dim></port></output>",
       "<port id=\"2\"><dim>1</dim><dim>1</dim><dim>3</dim><dim>2</dim></port></output>"},
      {"declared input shape differs",
       "<layer id=\"3\" name=\"relu\" type=\"Relu\" version=\"opset1\"><input><port "
       "id=\"0\"><dim>1</dim>",
       "<layer id=\"3\" name=\"relu\" type=\"Relu\" version=\"opset1\"><input><port "
       "id=\"0\"><dim>2</dim>"},
      {"negative dimension", "<dim>3</dim>", "<dim>-3</dim>"},
      {"weights past the end", "offset=\"0\"", "offset=\"4\""},
      {"weights offset overflows", "offset=\"0\"", "offset=\"18446744073709551615\""},
      {"size does not fit the shape", "size=\"16\"", "size=\"12\""},
      {"huge constant", "shape=\"1,1,2,2\"", "shape=\"4294967296,4294967296,2,2\""},
      {"unknown element type", "element_type=\"f32\" offset", "element_type=\"q7\" offset"},
      {"bad stride", "strides=\"1,1\"", "strides=\"1,x\""},
      {"zero stride", "strides=\"1,1\"", "strides=\"0,1\""},
      {"pads that would wrap sizes", "pads_end=\"0,0\"", "pads_end=\"0,9223372036854775000\""},
      {"stride for one axis", "strides=\"1,1\"", "strides=\"1\""},
      {"parameter without a type", "element_type=\"f32\" shape=\"1,1,3,3\"", "shape=\"1,1,3,3\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BaseNetwork base;
    std::string xml = replaced(base.ir.xml(), c.from, c.to);
    if (!c.from2.empty()) xml = replaced(xml, c.from2, c.to2);
    InferenceEngine::Core core;
    EXPECT_THROW(core.ReadNetwork(xml, base.ir.weightsBlob()), InferenceEngine::Exception);
  }
}

TEST(MalformedIr, ConstantsNeedWeights) {
  BaseNetwork base;
  InferenceEngine::Core core;
  EXPECT_THROW(core.ReadNetwork(base.ir.xml(), nullptr), InferenceEngine::Exception);
  std::vector<uint8_t> short_(15);
  const auto blob = InferenceEngine::make_shared_blob<uint8_t>(
      InferenceEngine::TensorDesc(InferenceEngine::Precision::U8, {short_.size()},
                                  InferenceEngine::Layout::ANY),
      short_.data(), short_.size());
  EXPECT_THROW(core.ReadNetwork(base.ir.xml(), blob), InferenceEngine::Exception);
}

TEST(MalformedIr, OperationArgumentsAreChecked) {
  const std::map<std::string, std::string> unit{
      {"strides", "1,1"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}};
  struct Case {
    const char* name;
    std::string type;
    ietest::Dims a, b, out;
    std::map<std::string, std::string> data;
    std::string version = "opset1";
  };
  const Case cases[] = {
      {"Add without broadcast", "Add", {2, 3}, {2, 2}, {2, 3}, {}},
      {"auto_broadcast none", "Multiply", {2, 3}, {3}, {2, 3}, {{"auto_broadcast", "none"}}},
      {"Concat of different ranks", "Concat", {2, 3}, {3}, {2, 6}, {{"axis", "1"}}},
      {"Concat axis out of range", "Concat", {2, 3}, {2, 3}, {2, 6}, {{"axis", "2"}}},
      {"Concat differs outside the axis", "Concat", {2, 3}, {3, 3}, {2, 6}, {{"axis", "1"}}},
      {"Clamp min above max", "Clamp", {2}, {}, {2}, {{"min", "2"}, {"max", "1"}}},
      {"Relu with two inputs", "Relu", {2}, {2}, {2}, {}},
      {"Convolution channels differ",
       "Convolution",
       {1, 1, 3, 3},
       {1, 2, 2, 2},
       {1, 1, 2, 2},
       unit},
      {"kernel larger than the input",
       "Convolution",
       {1, 1, 1, 1},
       {1, 1, 2, 2},
       {1, 1, 1, 1},
       unit},
      {"GroupConvolution groups differ",
       "GroupConvolution",
       {1, 4, 3, 3},
       {3, 1, 1, 2, 2},
       {1, 3, 2, 2},
       unit},
      {"Interpolate of an older opset",
       "Interpolate",
       {1, 1, 2, 2},
       {2},
       {1, 1, 4, 4},
       {{"mode", "linear"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IrBuilder ir;
    std::vector<Out> inputs{ir.parameter("a", c.a)};
    if (!c.b.empty()) inputs.push_back(ir.parameter("b", c.b));
    ir.result(ir.op(c.type, "op", inputs, c.out, c.data, c.version));
    InferenceEngine::Core core;
    EXPECT_THROW(core.ReadNetwork(ir.xml(), ir.weightsBlob()), InferenceEngine::Exception);
  }
}

TEST(MalformedIr, ShapeInputsMustBeConstantAndInRange) {
  struct Case {
    const char* name;
    std::vector<float> axes;
    bool constant;
  };
  const Case cases[] = {{"axis out of range", {2}, true}, {"axis from a parameter", {1}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IrBuilder ir;
    const Out in = ir.parameter("in", {2, 3});
    const Out axes =
        c.constant ? ir.constant("axes", {1}, c.axes, "i64") : ir.parameter("axes", {1}, "i64");
    ir.result(ir.op("ReduceMean", "op", {in, axes}, {2}));
    InferenceEngine::Core core;
    EXPECT_THROW(core.ReadNetwork(ir.xml(), ir.weightsBlob()), InferenceEngine::Exception);
  }
}

}  // namespace
