#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "ir_builder.h"
#include "network_state.h"
#include "reference_executor.h"

namespace {

namespace ie = InferenceEngine;
using ietest::Dims;
using ietest::IrBuilder;
using ietest::Out;

size_t count(const Dims& d) {
  size_t n = 1;
  for (const size_t x : d) n *= x;
  return n;
}

std::vector<float> random(size_t n, std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (float& x : v) x = u(rng);
  return v;
}

struct Fixture {
  IrBuilder ir;
  std::mt19937 rng{7};

  Out weights(const std::string& name, const Dims& d) {
    return ir.constant(name, d, random(count(d), rng));
  }
  Out conv(const std::string& name, const Out& in, const Dims& w, const Dims& out,
           std::map<std::string, std::string> data, const std::string& type = "Convolution") {
    return ir.op(type, name, {in, weights(name + "_w", w)}, out, data);
  }
};

std::map<std::string, std::string> conv(const std::string& strides, const std::string& begin,
                                        const std::string& end,
                                        const std::string& dilations = "1,1") {
  return {{"strides", strides}, {"pads_begin", begin}, {"pads_end", end}, {"dilations", dilations}};
}

// Runs the network on the CPU device and on the reference executor with the same random inputs.
void expectMatchesReference(Fixture& f, const std::string& threads = "0") {
  ie::Core core;
  const ie::CNNNetwork network = core.ReadNetwork(f.ir.xml(), f.ir.weightsBlob());
  ie::InferRequest request =
      core.LoadNetwork(network, "CPU", {{"CPU_THREADS_NUM", threads}}).CreateInferRequest();
  const auto& graph = network.state()->graph;
  ie::impl::ReferenceExecutor reference(graph);
  for (size_t k = 0; k < graph->parameters.size(); ++k) {
    const std::string& name = graph->nodes[graph->parameters[k]].name;
    auto blob = ie::as<ie::MemoryBlob>(request.GetBlob(name));
    const std::vector<float> values = random(blob->size(), f.rng);
    std::copy(values.begin(), values.end(), blob->wmap().as<float*>());
    reference.input(k) = values;
  }
  request.Infer();
  reference.run();
  const ie::OutputsDataMap outputs = network.getOutputsInfo();
  for (const auto& [name, data] : outputs) {
    SCOPED_TRACE(name);
    const size_t ordinal = network.state()->outputOrdinal.at(name);
    const std::vector<float>& expected = reference.output(ordinal);
    auto blob = ie::as<ie::MemoryBlob>(request.GetBlob(name));
    const float* actual = blob->rmap().as<const float*>();
    ASSERT_EQ(blob->size(), expected.size());
    size_t bad = 0;
    for (size_t i = 0; i < expected.size(); ++i)
      if (!(std::fabs(actual[i] - expected[i]) <= 1e-4f + 1e-4f * std::fabs(expected[i])) &&
          bad++ < 5)
        ADD_FAILURE() << "at " << i << ": " << actual[i] << " vs " << expected[i];
  }
}

// A network to build, named for the failure message.
struct Case {
  const char* name;
  std::function<void(Fixture&)> build;
};

template <size_t N>
void expectAllMatchReference(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.build(f);
    expectMatchesReference(f);
  }
}

TEST(DnnlOracle, Convolutions) {
  const Case cases[] = {
      {"odd sizes, strides, padding, dilation",
       [](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 3, 17, 13});
         f.ir.result(
             f.conv("c", in, {5, 3, 3, 3}, {1, 5, 8, 11}, conv("2,1", "1,0", "0,2", "1,2")));
       }},
      {"f16 weights behind a Convert",
       [](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 3, 6, 7});
         const Out half = f.ir.constant("w16", {4, 3, 3, 3}, random(4 * 3 * 9, f.rng), "f16");
         const Out w = f.ir.op("Convert", "w", {half}, {4, 3, 3, 3}, {{"destination_type", "f32"}});
         f.ir.result(f.ir.op("Convolution", "c", {in, w}, {1, 4, 6, 7}, conv("1,1", "1,1", "1,1")));
       }},
      {"same_upper with stride",
       [](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 4, 9, 10});
         f.ir.result(f.conv("c", in, {8, 4, 3, 3}, {1, 8, 5, 5},
                            {{"strides", "2,2"}, {"auto_pad", "same_upper"}}));
       }},
      {"depthwise",
       [](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 6, 11, 9});
         f.ir.result(f.conv("c", in, {6, 1, 1, 3, 3}, {1, 6, 6, 5}, conv("2,2", "1,1", "1,1"),
                            "GroupConvolution"));
       }},
      {"two groups",
       [](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 6, 7, 7});
         f.ir.result(f.conv("c", in, {2, 2, 3, 1, 1}, {1, 4, 7, 7}, conv("1,1", "0,0", "0,0"),
                            "GroupConvolution"));
       }},
      {"transposed, stride 2",
       [](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 4, 5, 7});
         f.ir.result(f.conv("c", in, {4, 3, 4, 4}, {1, 3, 10, 14}, conv("2,2", "1,1", "1,1"),
                            "ConvolutionBackpropData"));
       }},
      {"transposed with output padding",
       [](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 2, 3, 4});
         auto data = conv("2,2", "0,0", "0,0");
         data["output_padding"] = "1,1";
         f.ir.result(f.conv("c", in, {2, 5, 3, 3}, {1, 5, 8, 10}, data, "ConvolutionBackpropData"));
       }},
  };
  expectAllMatchReference(cases);
}

TEST(DnnlOracle, FusedChains) {
  const auto unit = conv("1,1", "1,1", "1,1");
  const Case cases[] = {
      {"bias and hswish",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 3, 8, 8});
         const Out c = f.conv("c", in, {4, 3, 3, 3}, {1, 4, 8, 8}, unit);
         const Out b = f.ir.op("Add", "bias", {c, f.weights("b", {1, 4, 1, 1})}, {1, 4, 8, 8});
         f.ir.result(f.ir.op("HSwish", "act", {b}, {1, 4, 8, 8}));
       }},
      {"residual add then relu",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 4, 6, 5});
         const Out c = f.conv("c", in, {4, 4, 3, 3}, {1, 4, 6, 5}, unit);
         const Out sum = f.ir.op("Add", "sum", {in, c}, {1, 4, 6, 5});
         f.ir.result(f.ir.op("Relu", "act", {sum}, {1, 4, 6, 5}));
       }},
      {"clamp, per-channel multiply, sigmoid",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 2, 5, 5});
         const Out c = f.conv("c", in, {3, 2, 3, 3}, {1, 3, 5, 5}, unit);
         const Out k =
             f.ir.op("Clamp", "clamp", {c}, {1, 3, 5, 5}, {{"min", "-0.5"}, {"max", "0.25"}});
         const Out m = f.ir.op("Multiply", "scale", {k, f.weights("s", {3, 1, 1})}, {1, 3, 5, 5});
         f.ir.result(f.ir.op("Sigmoid", "act", {m}, {1, 3, 5, 5}));
       }},
      {"squeeze and excite",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 8, 7, 9});
         const Out x = f.conv("x", in, {8, 8, 1, 1}, {1, 8, 7, 9}, conv("1,1", "0,0", "0,0"));
         const Out axes = f.ir.constant("axes", {2}, {2, 3}, "i64");
         const Out mean =
             f.ir.op("ReduceMean", "mean", {x, axes}, {1, 8, 1, 1}, {{"keep_dims", "true"}});
         const Out r =
             f.ir.op("Relu", "r",
                     {f.conv("s1", mean, {4, 8, 1, 1}, {1, 4, 1, 1}, conv("1,1", "0,0", "0,0"))},
                     {1, 4, 1, 1});
         const Out s =
             f.ir.op("Sigmoid", "s",
                     {f.conv("s2", r, {8, 4, 1, 1}, {1, 8, 1, 1}, conv("1,1", "0,0", "0,0"))},
                     {1, 8, 1, 1});
         f.ir.result(f.ir.op("Multiply", "gate", {x, s}, {1, 8, 7, 9}));
       }},
      {"a product and a sum after a convolution used twice, then activations",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 8, 6, 6});
         const Out c = f.conv("c", in, {8, 8, 3, 3}, {1, 8, 6, 6}, unit);
         f.ir.result(f.ir.op("Relu", "r", {c}, {1, 8, 6, 6}));
         const Out m = f.ir.op("Multiply", "m", {c, f.weights("k", {1, 8, 1, 1})}, {1, 8, 6, 6});
         const Out s = f.ir.op("Add", "s", {in, m}, {1, 8, 6, 6});
         const Out k = f.ir.op("Clamp", "k", {s}, {1, 8, 6, 6}, {{"min", "-0.5"}, {"max", "0.75"}});
         f.ir.result(f.ir.op("Multiply", "square", {k, k}, {1, 8, 6, 6}));
       }},
      {"sums and products of inputs alone",
       [&](Fixture& f) {
         const Out a = f.ir.parameter("a", {1, 3, 4, 5});
         const Out b = f.ir.parameter("b", {1, 3, 4, 5});
         const Out s = f.ir.op("Add", "s", {a, b}, {1, 3, 4, 5});
         const Out t = f.ir.op("Multiply", "t", {s, f.weights("two", {1, 1, 1, 1})}, {1, 3, 4, 5});
         f.ir.result(
             f.ir.op("Sigmoid", "u", {f.ir.op("Add", "sum", {t, a}, {1, 3, 4, 5})}, {1, 3, 4, 5}));
       }},
      {"one convolution output used twice",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 3, 6, 6});
         const Out c = f.conv("c", in, {16, 3, 3, 3}, {1, 16, 6, 6}, unit);
         const Out a = f.ir.op("Relu", "a", {c}, {1, 16, 6, 6});
         const Out b = f.ir.op("Sigmoid", "b", {c}, {1, 16, 6, 6});
         f.ir.result(f.ir.op("Concat", "cat", {a, b}, {1, 32, 6, 6}, {{"axis", "1"}}));
       }},
  };
  expectAllMatchReference(cases);
}

TEST(DnnlOracle, DataMovementAfterConvolution) {
  Fixture f;
  const Out in = f.ir.parameter("in", {1, 3, 5, 7});
  const Out c = f.conv("c", in, {16, 3, 3, 3}, {1, 16, 5, 7}, conv("1,1", "1,1", "1,1"));
  const Out sizes = f.ir.constant("sizes", {2}, {9, 14}, "i64");
  const Out scales = f.ir.constant("scales", {2}, {1.8f, 2.0f});
  const Out axes = f.ir.constant("axes", {2}, {2, 3}, "i64");
  for (const char* mode : {"half_pixel", "align_corners", "asymmetric"})
    f.ir.result(f.ir.op("Interpolate", std::string("resize_") + mode, {c, sizes, scales, axes},
                        {1, 16, 9, 14},
                        {{"mode", "linear_onnx"},
                         {"coordinate_transformation_mode", mode},
                         {"shape_calculation_mode", "sizes"}},
                        "opset4"));
  const Out splitAxis = f.ir.constant("split_axis", {}, {1}, "i64");
  const std::vector<Out> parts =
      f.ir.layer("Split", "split", {{"num_splits", "4"}}, {c, splitAxis},
                 {{1, 4, 5, 7}, {1, 4, 5, 7}, {1, 4, 5, 7}, {1, 4, 5, 7}});
  f.ir.result(parts[3]);
  const Out indices = f.ir.constant("indices", {3}, {2, 0, 2}, "i32");
  const Out gatherAxis = f.ir.constant("gather_axis", {}, {1}, "i64");
  f.ir.result(f.ir.op("Gather", "gather", {parts[1], indices, gatherAxis}, {1, 3, 5, 7}));
  const Out mean =
      f.ir.op("ReduceMean", "mean", {c, f.ir.constant("mean_axes", {1}, {1}, "i64")}, {1, 5, 7});
  f.ir.result(f.ir.op("Add", "plus", {mean, f.weights("row", {7})}, {1, 5, 7}));
  f.ir.result(f.ir.op("ReduceMean", "kept_mean", {c, f.ir.constant("kept_axes", {1}, {1}, "i64")},
                      {1, 1, 5, 7}, {{"keep_dims", "true"}}));
  expectMatchesReference(f);
}

// Transposed convolutions whose kernel is their stride run as a product and a reorder that
// moves each pixel's block into place.
TEST(DnnlOracle, TransposedConvolutionsThatTileTheirOutput) {
  const auto tiled = [](const std::string& s) { return conv(s, "0,0", "0,0"); };
  const Case cases[] = {
      {"one channel with bias, sigmoid and scalars",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 6, 5, 7});
         const Out t =
             f.conv("t", in, {6, 1, 2, 2}, {1, 1, 10, 14}, tiled("2,2"), "ConvolutionBackpropData");
         const Out b = f.ir.op("Add", "bias", {t, f.weights("b", {1, 1, 1, 1})}, {1, 1, 10, 14});
         const Out s = f.ir.op("Sigmoid", "s", {b}, {1, 1, 10, 14});
         const Out m = f.ir.op("Multiply", "m", {s, f.weights("k", {1, 1, 1, 1})}, {1, 1, 10, 14});
         f.ir.result(f.ir.op("Add", "a", {m, f.weights("c", {1})}, {1, 1, 10, 14}));
       }},
      {"three channels, an oblong kernel and a per-channel bias",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 4, 3, 5});
         const Out t =
             f.conv("t", in, {4, 3, 2, 3}, {1, 3, 6, 15}, tiled("2,3"), "ConvolutionBackpropData");
         const Out b = f.ir.op("Add", "bias", {t, f.weights("b", {1, 3, 1, 1})}, {1, 3, 6, 15});
         f.ir.result(f.ir.op("Relu", "r", {b}, {1, 3, 6, 15}));
       }},
      {"after a convolution's own layout",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 3, 6, 8});
         const Out c = f.conv("c", in, {16, 3, 3, 3}, {1, 16, 6, 8}, conv("1,1", "1,1", "1,1"));
         f.ir.result(f.conv("t", c, {16, 2, 2, 2}, {1, 2, 12, 16}, tiled("2,2"),
                            "ConvolutionBackpropData"));
       }},
  };
  expectAllMatchReference(cases);
}

// Gathers of one constant index are views of their data, in whatever layout it has.
TEST(DnnlOracle, ViewsOfOneIndex) {
  const auto index = [](Fixture& f, const std::string& name, const Dims& d, float v, float axis) {
    return std::pair{f.ir.constant(name, d, {v}, "i64"),
                     f.ir.constant(name + "_axis", {}, {axis}, "i64")};
  };
  const auto gather = [&](Fixture& f, const std::string& name, const Out& data, const Dims& d,
                          float v, float axis, const Dims& out) {
    const auto [i, a] = index(f, name, d, v, axis);
    return f.ir.op("Gather", name, {data, i, a}, out);
  };
  const Case cases[] = {
      {"of an input, on several axes, joined",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 4, 5, 6});
         const Out a = gather(f, "a", in, {1}, 2, 1, {1, 1, 5, 6});
         const Out b = gather(f, "b", in, {1}, 0, 1, {1, 1, 5, 6});
         f.ir.result(f.ir.op("Concat", "joined", {a, b}, {1, 2, 5, 6}, {{"axis", "1"}}));
         f.ir.result(gather(f, "last", in, {}, -1, 3, {1, 4, 5}));
         const Out first = gather(f, "first", in, {}, 0, 0, {4, 5, 6});
         f.ir.result(
             f.ir.op("Convert", "converted", {first}, {4, 5, 6}, {{"destination_type", "f32"}}));
         f.ir.result(f.ir.op("Multiply", "scaled",
                             {gather(f, "row", in, {}, 4, 2, {1, 4, 6}), f.weights("k", {1})},
                             {1, 4, 6}));
       }},
      {"of a convolution's output, into a convolution",
       [&](Fixture& f) {
         const Out in = f.ir.parameter("in", {1, 3, 5, 7});
         const Out c = f.conv("c", in, {16, 3, 3, 3}, {1, 16, 5, 7}, conv("1,1", "1,1", "1,1"));
         const Out a = gather(f, "a", c, {1}, 3, 1, {1, 1, 5, 7});
         const Out b = gather(f, "b", c, {1}, 11, 1, {1, 1, 5, 7});
         const Out joined = f.ir.op("Concat", "joined", {a, b, a}, {1, 3, 5, 7}, {{"axis", "1"}});
         f.ir.result(f.conv("d", joined, {4, 3, 3, 3}, {1, 4, 5, 7}, conv("1,1", "1,1", "1,1")));
         f.ir.result(gather(f, "column", c, {}, 6, 3, {1, 16, 5}));
       }},
  };
  expectAllMatchReference(cases);
}

// Values that the input's element type cannot hold are stored as it holds them, whatever the
// precision of the blob that the caller fills.
TEST(DnnlOracle, InputsTakeTheirElementType) {
  struct Case {
    const char* type;
    ie::Precision precision;
    std::vector<int32_t> values;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {"u8", ie::Precision::I32, {-5, 0, 7, 300}, {0, 0, 7, 255}},
      {"u8", ie::Precision::U8, {0, 7, 200, 255}, {0, 7, 200, 255}},
      {"i8", ie::Precision::U8, {0, 7, 200, 255}, {0, 7, 127, 127}},
      {"f32", ie::Precision::I32, {-5, 0, 7, 300}, {-5, 0, 7, 300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " from " + c.precision.name());
    IrBuilder ir;
    const Out in = ir.parameter("in", {4}, c.type);
    ir.result(ir.op("Convert", "out", {in}, {4}, {{"destination_type", "f32"}}));
    ie::Core core;
    ie::CNNNetwork network = core.ReadNetwork(ir.xml(), ir.weightsBlob());
    network.getInputsInfo().at("in")->setPrecision(c.precision);
    ie::InferRequest request = core.LoadNetwork(network, "CPU").CreateInferRequest();
    auto blob = ie::as<ie::MemoryBlob>(request.GetBlob("in"));
    for (size_t k = 0; k < c.values.size(); ++k) {
      if (c.precision == ie::Precision::U8)
        blob->wmap().as<uint8_t*>()[k] = uint8_t(c.values[k]);
      else
        blob->wmap().as<int32_t*>()[k] = c.values[k];
    }
    request.Infer();
    const float* out = ie::as<ie::MemoryBlob>(request.GetBlob("out"))->rmap().as<const float*>();
    EXPECT_EQ(std::vector<float>(out, out + 4), c.expected);
  }
}

TEST(DnnlOracle, ThreadCountsAgreeAndRunsRepeatExactly) {
  const auto build = [](Fixture& f) {
    const Out in = f.ir.parameter("in", {1, 8, 19, 23});
    const Out c = f.conv("c", in, {16, 8, 3, 3}, {1, 16, 19, 23}, conv("1,1", "1,1", "1,1"));
    f.ir.result(f.ir.op("HSwish", "act", {c}, {1, 16, 19, 23}));
  };
  for (const char* threads : {"1", "2"}) {
    SCOPED_TRACE(threads);
    Fixture f;
    build(f);
    expectMatchesReference(f, threads);
  }

  Fixture f;
  build(f);
  ie::Core core;
  ie::InferRequest request =
      core.LoadNetwork(core.ReadNetwork(f.ir.xml(), f.ir.weightsBlob()), "CPU")
          .CreateInferRequest();
  auto in = ie::as<ie::MemoryBlob>(request.GetBlob("in"));
  const std::vector<float> values = random(in->size(), f.rng);
  std::copy(values.begin(), values.end(), in->wmap().as<float*>());
  auto out = ie::as<ie::MemoryBlob>(request.GetBlob("act"));
  request.Infer();
  const float* first = out->rmap().as<const float*>();
  const std::vector<float> once(first, first + out->size());
  request.Infer();
  EXPECT_EQ(std::vector<float>(first, first + out->size()), once);
  EXPECT_EQ(out->rmap().as<const float*>(), first);
}

}  // namespace
