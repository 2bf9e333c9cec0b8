#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ir_builder.h"

namespace {

namespace ie = InferenceEngine;
using ietest::IrBuilder;
using ietest::Out;

// Two inputs declared out of name order: out = relu(b_in + a_in * w).
IrBuilder twoInputs() {
  IrBuilder ir;
  const Out b = ir.parameter("b_in", {1, 2, 2, 1});
  const Out a = ir.parameter("a_in", {1, 2, 2, 1});
  const Out w = ir.constant("w", {1}, {2});
  const Out scaled = ir.op("Multiply", "scaled", {a, w}, {1, 2, 2, 1});
  ir.result(ir.op("Relu", "out", {ir.op("Add", "sum", {b, scaled}, {1, 2, 2, 1})}, {1, 2, 2, 1}));
  return ir;
}

TEST(Network, OutlivesTheCallersWeights) {
  IrBuilder ir = twoInputs();
  ie::Core core;
  ie::CNNNetwork network;
  {
    std::vector<uint8_t> weights = ir.weights;
    auto blob = ie::make_shared_blob<uint8_t>(
        ie::TensorDesc(ie::Precision::U8, {weights.size()}, ie::Layout::ANY), weights.data(),
        weights.size());
    network = core.ReadNetwork(ir.xml(), blob);
    std::fill(weights.begin(), weights.end(), 0xff);
  }
  ie::InferRequest request = core.LoadNetwork(network, "CPU").CreateInferRequest();
  auto a = ie::as<ie::MemoryBlob>(request.GetBlob("a_in"));
  auto b = ie::as<ie::MemoryBlob>(request.GetBlob("b_in"));
  const float av[] = {1, 2, 3, 4}, bv[] = {0, -5, 1, 1};
  std::copy(std::begin(av), std::end(av), a->wmap().as<float*>());
  std::copy(std::begin(bv), std::end(bv), b->wmap().as<float*>());
  request.Infer();
  const float* out = ie::as<ie::MemoryBlob>(request.GetBlob("out"))->rmap().as<const float*>();
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{2, 0, 7, 9}));
}

TEST(Network, DescribesInputsAndOutputsByName) {
  IrBuilder ir = twoInputs();
  ie::Core core;
  const ie::CNNNetwork network = core.ReadNetwork(ir.xml(), ir.weightsBlob());
  const ie::InputsDataMap inputs = network.getInputsInfo();
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(inputs.begin()->first, "a_in");
  EXPECT_EQ(inputs.begin()->second->getTensorDesc().getDims(), (ie::SizeVector{1, 2, 2, 1}));
  EXPECT_EQ(inputs.begin()->second->getPrecision(), ie::Precision::FP32);
  const ie::OutputsDataMap outputs = network.getOutputsInfo();
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs.begin()->first, "out");
  EXPECT_EQ(outputs.begin()->second->getTensorDesc().getPrecision(), ie::Precision::FP32);
}

TEST(Network, CopiesShareOneNetworkAndLoadingFixesIt) {
  IrBuilder ir = twoInputs();
  ie::Core core;
  const ie::CNNNetwork network = core.ReadNetwork(ir.xml(), ir.weightsBlob());
  ie::CNNNetwork copy = network;
  for (const auto& [name, info] : copy.getInputsInfo()) info->setPrecision(ie::Precision::U8);
  EXPECT_EQ(network.getInputsInfo().at("b_in")->getPrecision(), ie::Precision::U8);

  ie::InferRequest request = core.LoadNetwork(network, "CPU").CreateInferRequest();
  network.getInputsInfo().at("a_in")->setPrecision(ie::Precision::FP32);
  const ie::Blob::Ptr a = request.GetBlob("a_in");
  EXPECT_EQ(a->getTensorDesc().getPrecision(), ie::Precision::U8);
  EXPECT_EQ(a, request.GetBlob("a_in"));

  // U8 values enter the network as numbers, not as raw bytes.
  const uint8_t av[] = {0, 100, 255, 7};
  std::copy(std::begin(av), std::end(av), ie::as<ie::MemoryBlob>(a)->wmap().as<uint8_t*>());
  std::fill_n(ie::as<ie::MemoryBlob>(request.GetBlob("b_in"))->wmap().as<uint8_t*>(), 4,
              uint8_t(1));
  request.Infer();
  const float* out = ie::as<ie::MemoryBlob>(request.GetBlob("out"))->rmap().as<const float*>();
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1, 201, 511, 15}));
}

TEST(Network, ARequestKeepsItsNetworkAlive) {
  ie::InferRequest request;
  {
    IrBuilder ir = twoInputs();
    ie::Core core;
    ie::ExecutableNetwork executable =
        core.LoadNetwork(core.ReadNetwork(ir.xml(), ir.weightsBlob()), "CPU");
    request = ie::ExecutableNetwork(executable).CreateInferRequest();
  }
  std::fill_n(ie::as<ie::MemoryBlob>(request.GetBlob("a_in"))->wmap().as<float*>(), 4, 1.0f);
  request.Infer();
  EXPECT_EQ(ie::as<ie::MemoryBlob>(request.GetBlob("out"))->rmap().as<const float*>()[0], 2.0f);
}

}  // namespace

namespace {

// The calls the worker makes, in its order, on a network of its input and output contract:
// input (1, H, W, 4) read as U8, output (1, 1, H, W) FP32 = channel 3 / 255.
TEST(Network, TheWorkersCallSequence) {
  constexpr size_t H = 9, W = 16;
  IrBuilder ir;
  const Out in = ir.parameter("frame", {1, H, W, 4});
  const Out scaled =
      ir.op("Multiply", "scaled", {in, ir.constant("scale", {1}, {1.0f / 255})}, {1, H, W, 4});
  const Out channel = ir.op(
      "Gather", "channel",
      {scaled, ir.constant("three", {}, {3}, "i64"), ir.constant("a3", {}, {3}, "i64")}, {1, H, W});
  const Out mask =
      ir.op("Gather", "mask",
            {channel, ir.constant("zero", {1, 1}, {0}, "i64"), ir.constant("a0", {}, {0}, "i64")},
            {1, 1, H, W});
  ir.result(mask);

  const auto config = std::filesystem::temp_directory_path() / "ie-network-test-plugins.xml";
  std::ofstream(config, std::ios::binary) << "<ie><plugins></plugins></ie>";
  ie::Core core(config.string());
  std::filesystem::remove(config);
  core.RegisterPlugin("MKLDNNPlugin", "CPU");

  auto weights = std::make_unique<std::vector<uint8_t>>(ir.weights);
  ie::TensorDesc desc(ie::Precision::U8, {weights->size()}, ie::Layout::ANY);
  ie::Blob::CPtr blob = ie::make_shared_blob<uint8_t>(desc, weights->data(), weights->size());
  ie::CNNNetwork network = core.ReadNetwork(ir.xml(), blob);
  blob.reset();
  weights.reset();
  for (const auto& [name, info] : network.getInputsInfo()) info->setPrecision(ie::Precision::U8);
  ie::ExecutableNetwork executable = core.LoadNetwork(network, "CPU", {});
  const auto input = *network.getInputsInfo().begin();
  const auto output = *network.getOutputsInfo().begin();
  EXPECT_EQ(input.second->getTensorDesc().getDims(), (ie::SizeVector{1, H, W, 4}));
  EXPECT_EQ(output.second->getTensorDesc().getDims(), (ie::SizeVector{1, 1, H, W}));
  network = ie::CNNNetwork();

  ie::InferRequest request = executable.CreateInferRequest();
  auto in_blob = std::dynamic_pointer_cast<ie::MemoryBlob>(request.GetBlob(input.first));
  auto out_blob = std::dynamic_pointer_cast<ie::MemoryBlob>(request.GetBlob(output.first));
  ASSERT_TRUE(in_blob && out_blob);
  {
    auto mapped = in_blob->wmap();
    uint32_t* words = mapped.as<uint32_t*>();
    for (uint32_t k = 0; k < H * W; ++k) words[k] = 0x00a0b0c0u | (k % 256) << 24;
  }
  request.Infer();
  auto mapped = out_blob->rmap();
  const float* probabilities = mapped.as<const float*>();
  for (size_t k = 0; k < H * W; ++k)
    ASSERT_NEAR(probabilities[k], float(k % 256) / 255, 1e-6f) << k;
}

}  // namespace
