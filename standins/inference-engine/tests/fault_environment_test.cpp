#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "ir_builder.h"

namespace {

namespace ie = InferenceEngine;
namespace fs = std::filesystem;

std::vector<std::string> lines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> result;
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// The fault plan reads the environment once, at its first use, so this executable holds this
// test alone and sets the environment before any engine call.
TEST(FaultEnvironment, FailsTheNamedCallsAndTracesEveryCheckedCall) {
  const fs::path trace =
      fs::temp_directory_path() / ("ie-trace-" + std::to_string(std::random_device{}()) + ".txt");
  ASSERT_EQ(setenv("VEXTRA_IE_TRACE", trace.c_str(), 1), 0);
  ASSERT_EQ(setenv("VEXTRA_IE_FAIL", "NoSuchCall:1,LoadNetwork:1,GetBlob:x,Infer", 1), 0);

  ie::Core core;
  ietest::IrBuilder ir;
  ir.result(ir.op("Relu", "relu", {ir.parameter("in", {2})}, {2}));
  const ie::CNNNetwork network = core.ReadNetwork(ir.xml(), ir.weightsBlob());
  EXPECT_NO_THROW(core.LoadNetwork(network, "CPU"));
  EXPECT_THROW(core.LoadNetwork(network, "CPU"), ie::Exception);
  ie::InferRequest request = core.LoadNetwork(network, "CPU").CreateInferRequest();
  EXPECT_NO_THROW(request.GetBlob("in"));
  EXPECT_THROW(request.Infer(), ie::Exception);
  EXPECT_NO_THROW(request.Infer());

  const std::vector<std::string> expected = {
      "CoreConstruction",   "ReadNetwork", "LoadNetwork", "LoadNetwork", "LoadNetwork",
      "CreateInferRequest", "GetBlob",     "Infer",       "Infer"};
  EXPECT_EQ(lines(trace), expected);
  fs::remove(trace);
}

}  // namespace
