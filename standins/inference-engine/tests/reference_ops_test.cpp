#include <gtest/gtest.h>

#include <cmath>

#include "ir_builder.h"

namespace {

using ietest::Dims;
using ietest::IrBuilder;
using ietest::Out;
using ietest::Runner;

void expectNear(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_NEAR(actual[i], expected[i], 1e-5f) << "at " << i;
}

// One operation on one input; any further inputs are constants.
std::vector<float> runOne(const std::string& type, const Dims& inDims,
                          const std::vector<float>& input, const Dims& outDims,
                          const std::map<std::string, std::string>& data = {},
                          const std::vector<std::pair<Dims, std::vector<float>>>& weights = {},
                          const std::string& version = "opset1",
                          const std::string& weightType = "f32") {
  IrBuilder ir;
  std::vector<Out> inputs{ir.parameter("in", inDims)};
  for (size_t i = 0; i < weights.size(); ++i)
    inputs.push_back(
        ir.constant("c" + std::to_string(i), weights[i].first, weights[i].second, weightType));
  ir.result(ir.op(type, "op", inputs, outDims, data, version));
  Runner run(ir);
  run.set("in", input);
  run.infer();
  return run.get("op");
}

TEST(ReferenceOps, Elementwise) {
  const std::vector<float> x{-4, -1, 0, 0.5f, 3, 5};
  struct Case {
    std::string type;
    std::map<std::string, std::string> data;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {"Relu", {}, {0, 0, 0, 0.5f, 3, 5}},
      {"HSwish", {}, {0, -1.0f / 3, 0, 0.5f * 3.5f / 6, 3, 5}},
      {"Sigmoid", {}, {0.0179862f, 0.2689414f, 0.5f, 0.6224593f, 0.9525741f, 0.9933071f}},
      {"Clamp", {{"min", "-1"}, {"max", "2"}}, {-1, -1, 0, 0.5f, 2, 2}},
      {"Convert", {{"destination_type", "i32"}}, {-4, -1, 0, 0, 3, 5}},
      {"Convert", {{"destination_type", "u8"}}, {0, 0, 0, 0, 3, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    expectNear(runOne(c.type, {6}, x, {6}, c.data), c.expected);
  }
}

TEST(ReferenceOps, BroadcastingArithmetic) {
  struct Case {
    std::string type;
    Dims a, b, out;
    std::vector<float> av, bv, expected;
  };
  const Case cases[] = {
      {"Add", {2, 3}, {3}, {2, 3}, {1, 2, 3, 4, 5, 6}, {10, 20, 30}, {11, 22, 33, 14, 25, 36}},
      {"Multiply", {2, 3}, {2, 1}, {2, 3}, {1, 2, 3, 4, 5, 6}, {2, 3}, {2, 4, 6, 12, 15, 18}},
      {"Add", {2, 1}, {1, 3}, {2, 3}, {1, 2}, {10, 20, 30}, {11, 21, 31, 12, 22, 32}},
      {"Multiply", {1, 2, 1, 2}, {}, {1, 2, 1, 2}, {1, 2, 3, 4}, {-1}, {-1, -2, -3, -4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type + " " + IrBuilder::join(c.a) + " with " + IrBuilder::join(c.b));
    expectNear(runOne(c.type, c.a, c.av, c.out, {}, {{c.b, c.bv}}), c.expected);
  }
}

TEST(ReferenceOps, Convolution) {
  const std::vector<float> image{1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::pair<Dims, std::vector<float>> diagonal{{1, 1, 2, 2}, {1, 0, 0, 1}};
  struct Case {
    std::string name;
    std::map<std::string, std::string> data;
    Dims out;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {"valid",
       {{"strides", "1,1"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}},
       {1, 1, 2, 2},
       {6, 8, 12, 14}},
      {"padded stride 2",
       {{"strides", "2,2"}, {"pads_begin", "1,1"}, {"pads_end", "1,1"}},
       {1, 1, 2, 2},
       {1, 3, 7, 14}},
      {"same_upper",
       {{"strides", "1,1"}, {"auto_pad", "same_upper"}},
       {1, 1, 3, 3},
       {6, 8, 3, 12, 14, 6, 7, 8, 9}},
      {"same_lower",
       {{"strides", "1,1"}, {"auto_pad", "same_lower"}},
       {1, 1, 3, 3},
       {1, 2, 3, 4, 6, 8, 7, 12, 14}},
      {"dilated",
       {{"strides", "1,1"}, {"dilations", "2,2"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}},
       {1, 1, 1, 1},
       {10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expectNear(runOne("Convolution", {1, 1, 3, 3}, image, c.out, c.data, {diagonal}), c.expected);
  }
  const std::map<std::string, std::string> unit{
      {"strides", "1,1"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}};
  // Each output channel sums over all input channels with its own weights.
  expectNear(runOne("Convolution", {1, 2, 1, 1}, {2, 3}, {1, 2, 1, 1}, unit,
                    {{{2, 2, 1, 1}, {1, 10, 100, 1000}}}),
             {32, 3200});
  // f16 weights are widened when read.
  expectNear(runOne("Convolution", {1, 2, 1, 1}, {2, 3}, {1, 1, 1, 1}, unit,
                    {{{1, 2, 1, 1}, {0.5f, -2}}}, "opset1", "f16"),
             {-5});
}

TEST(ReferenceOps, GroupConvolutionKeepsGroupsApart) {
  const std::map<std::string, std::string> unit{
      {"strides", "1,1"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}};
  expectNear(runOne("GroupConvolution", {1, 2, 1, 2}, {1, 2, 3, 4}, {1, 2, 1, 1}, unit,
                    {{{2, 1, 1, 1, 2}, {1, 1, 1, -1}}}),
             {3, -1});
}

TEST(ReferenceOps, ConvolutionBackpropData) {
  const std::vector<float> input{1, 2, 3, 4};
  const std::pair<Dims, std::vector<float>> ones{{1, 1, 2, 2}, {1, 1, 1, 1}};
  struct Case {
    std::string name;
    std::map<std::string, std::string> data;
    Dims out;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {"stride 2",
       {{"strides", "2,2"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}},
       {1, 1, 4, 4},
       {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}},
      {"stride 1",
       {{"strides", "1,1"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}},
       {1, 1, 3, 3},
       {1, 3, 2, 4, 10, 6, 3, 7, 4}},
      {"cropped",
       {{"strides", "1,1"}, {"pads_begin", "1,1"}, {"pads_end", "1,1"}},
       {1, 1, 1, 1},
       {10}},
      {"output padding",
       {{"strides", "2,2"}, {"pads_begin", "0,0"}, {"pads_end", "0,0"}, {"output_padding", "1,0"}},
       {1, 1, 5, 4},
       {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expectNear(runOne("ConvolutionBackpropData", {1, 1, 2, 2}, input, c.out, c.data, {ones}),
               c.expected);
  }
}

TEST(ReferenceOps, ReduceMean) {
  const std::vector<float> x{1, 2, 3, 4, 5, 6};
  struct Case {
    std::vector<float> axes;
    std::string keep;
    Dims out;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {{1}, "false", {2}, {2, 5}},
      {{0}, "true", {1, 3}, {2.5f, 3.5f, 4.5f}},
      {{-1, 0}, "false", {}, {3.5f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(IrBuilder::join(Dims(c.axes.begin(), c.axes.end())));
    const Dims axesDims{c.axes.size()};
    IrBuilder ir;
    const Out in = ir.parameter("in", {2, 3});
    const Out axes = ir.constant("axes", axesDims, c.axes, "i64");
    ir.result(ir.op("ReduceMean", "op", {in, axes}, c.out, {{"keep_dims", c.keep}}));
    Runner run(ir);
    run.set("in", x);
    run.infer();
    expectNear(run.get("op"), c.expected);
  }
}

struct InterpolateCase {
  std::string name;
  Dims in;
  std::vector<float> values;
  std::string mode, coordinates, calculation;
  std::vector<float> sizes, scales, axes;
  Dims out;
  std::vector<float> expected;
};

TEST(ReferenceOps, Interpolate) {
  const InterpolateCase cases[] = {
      {"half_pixel up",
       {1, 1, 1, 2},
       {0, 4},
       "linear_onnx",
       "half_pixel",
       "sizes",
       {4},
       {2},
       {3},
       {1, 1, 1, 4},
       {0, 1, 3, 4}},
      {"align_corners up",
       {1, 1, 1, 2},
       {0, 4},
       "linear_onnx",
       "align_corners",
       "sizes",
       {4},
       {2},
       {3},
       {1, 1, 1, 4},
       {0, 4.0f / 3, 8.0f / 3, 4}},
      {"asymmetric up",
       {1, 1, 1, 2},
       {0, 4},
       "linear",
       "asymmetric",
       "sizes",
       {4},
       {2},
       {3},
       {1, 1, 1, 4},
       {0, 2, 4, 4}},
      {"half_pixel down",
       {1, 1, 1, 4},
       {0, 1, 2, 3},
       "linear",
       "half_pixel",
       "sizes",
       {2},
       {0.5f},
       {3},
       {1, 1, 1, 2},
       {0.5f, 2.5f}},
      {"scales",
       {1, 1, 1, 2},
       {0, 4},
       "linear_onnx",
       "half_pixel",
       "scales",
       {1},
       {2},
       {3},
       {1, 1, 1, 4},
       {0, 1, 3, 4}},
      {"2-D align_corners",
       {1, 1, 2, 2},
       {0, 1, 2, 3},
       "linear_onnx",
       "align_corners",
       "sizes",
       {3, 3},
       {1.5f, 1.5f},
       {2, 3},
       {1, 1, 3, 3},
       {0, 0.5f, 1, 1, 1.5f, 2, 2, 2.5f, 3}},
  };
  for (const InterpolateCase& c : cases) {
    SCOPED_TRACE(c.name);
    IrBuilder ir;
    const Out in = ir.parameter("in", c.in);
    const Out sizes = ir.constant("sizes", {c.sizes.size()}, c.sizes, "i64");
    const Out scales = ir.constant("scales", {c.scales.size()}, c.scales);
    const Out axes = ir.constant("axes", {c.axes.size()}, c.axes, "i64");
    ir.result(ir.op("Interpolate", "op", {in, sizes, scales, axes}, c.out,
                    {{"mode", c.mode},
                     {"coordinate_transformation_mode", c.coordinates},
                     {"shape_calculation_mode", c.calculation},
                     {"antialias", "false"},
                     {"pads_begin", "0,0,0,0"},
                     {"pads_end", "0,0,0,0"},
                     {"nearest_mode", "round_prefer_floor"},
                     {"cube_coeff", "-0.75"}},
                    "opset4"));
    Runner run(ir);
    run.set("in", c.values);
    run.infer();
    expectNear(run.get("op"), c.expected);
  }
}

TEST(ReferenceOps, ConcatJoinsAlongTheAxis) {
  IrBuilder ir;
  const Out a = ir.parameter("a", {1, 2});
  const Out b = ir.constant("b", {2, 2}, {3, 4, 5, 6});
  ir.result(ir.op("Concat", "op", {a, b}, {3, 2}, {{"axis", "-2"}}));
  Runner run(ir);
  run.set("a", {1, 2});
  run.infer();
  expectNear(run.get("op"), {1, 2, 3, 4, 5, 6});

  IrBuilder inner;
  const Out c = inner.parameter("c", {2, 1});
  const Out d = inner.constant("d", {2, 2}, {3, 4, 5, 6});
  inner.result(inner.op("Concat", "op", {c, d}, {2, 3}, {{"axis", "1"}}));
  Runner run2(inner);
  run2.set("c", {1, 2});
  run2.infer();
  expectNear(run2.get("op"), {1, 3, 4, 2, 5, 6});
}

TEST(ReferenceOps, SplitNamesEachOutputByPort) {
  IrBuilder ir;
  const Out in = ir.parameter("in", {2, 4});
  const Out axis = ir.constant("axis", {}, {1}, "i64");
  const std::vector<Out> parts =
      ir.layer("Split", "split", {{"num_splits", "2"}}, {in, axis}, {{2, 2}, {2, 2}});
  ir.result(parts[0]);
  ir.result(parts[1]);
  Runner run(ir);
  const auto outputs = run.network().getOutputsInfo();
  ASSERT_EQ(outputs.size(), 2u);
  // By output index, not by port id (which follows the two inputs).
  EXPECT_TRUE(outputs.contains("split.0"));
  EXPECT_TRUE(outputs.contains("split.1"));
  run.set("in", {0, 1, 2, 3, 4, 5, 6, 7});
  run.infer();
  expectNear(run.get("split.0"), {0, 1, 4, 5});
  expectNear(run.get("split.1"), {2, 3, 6, 7});
}

TEST(ReferenceOps, Gather) {
  struct Case {
    std::vector<float> indices;
    float axis;
    Dims out;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {{2, 0}, 0, {2, 2}, {5, 6, 1, 2}},
      {{1}, 1, {3, 1}, {2, 4, 6}},
      {{-1}, 0, {1, 2}, {5, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.axis);
    IrBuilder ir;
    const Out data = ir.parameter("data", {3, 2});
    const Out indices = ir.constant("indices", {c.indices.size()}, c.indices, "i32");
    const Out axis = ir.constant("axis", {}, {c.axis}, "i64");
    ir.result(ir.op("Gather", "op", {data, indices, axis}, c.out, {}, "opset7"));
    Runner run(ir);
    run.set("data", {1, 2, 3, 4, 5, 6});
    run.infer();
    expectNear(run.get("op"), c.expected);
  }
}

TEST(ReferenceOps, GatherRefusesAnIndexOutsideTheData) {
  for (const float index : {3.0f, -4.0f, 1e30f, NAN}) {
    SCOPED_TRACE(index);
    IrBuilder ir;
    const Out data = ir.parameter("data", {3, 2});
    const Out indices = ir.parameter("indices", {1});
    const Out axis = ir.constant("axis", {}, {0}, "i64");
    ir.result(ir.op("Gather", "op", {data, indices, axis}, {1, 2}));
    Runner run(ir);
    run.set("indices", {index});
    EXPECT_THROW(run.infer(), InferenceEngine::Exception);
  }
}

}  // namespace
