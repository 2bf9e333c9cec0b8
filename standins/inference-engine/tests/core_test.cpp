#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <ie_standin_faults.hpp>

#include "ir_builder.h"

namespace {

namespace ie = InferenceEngine;
namespace fs = std::filesystem;

class ConfigFile {
 public:
  explicit ConfigFile(const std::string& content)
      : path_(fs::temp_directory_path() /
              ("ie-core-test-" + std::to_string(std::random_device{}()) + ".xml")) {
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~ConfigFile() { fs::remove(path_); }
  std::string path() const { return path_.string(); }

 private:
  fs::path path_;
};

ie::CNNNetwork smallNetwork(ie::Core& core) {
  ietest::IrBuilder ir;
  ir.result(ir.op("Relu", "relu", {ir.parameter("in", {2})}, {2}));
  return core.ReadNetwork(ir.xml(), ir.weightsBlob());
}

TEST(Core, RefusesABadConfiguration) {
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"empty file", ""},
      {"malformed", "<ie><plugins></ie>"},
      {"other root", "<config><plugins></plugins></config>"},
      {"no plugins", "<ie></ie>"},
      {"plugin without location", "<ie><plugins><plugin name=\"CPU\"/></plugins></ie>"},
      {"unknown plug-in library",
       "<ie><plugins><plugin name=\"GPU\" location=\"libclDNNPlugin.so\"/></plugins></ie>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ConfigFile file(c.content);
    EXPECT_THROW(ie::Core{file.path()}, ie::Exception);
  }
  EXPECT_THROW(ie::Core{(fs::temp_directory_path() / "ie-core-test-missing.xml").string()},
               ie::Exception);
}

TEST(Core, AnEmptyPluginListHasNoDeviceUntilRegistered) {
  const ConfigFile file("<ie><plugins></plugins></ie>");
  ie::Core core(file.path());
  const ie::CNNNetwork network = smallNetwork(core);
  EXPECT_TRUE(core.GetAvailableDevices().empty());
  EXPECT_THROW(core.LoadNetwork(network, "CPU"), ie::Exception);

  core.RegisterPlugin("MKLDNNPlugin", "CPU");
  EXPECT_EQ(core.GetAvailableDevices(), std::vector<std::string>{"CPU"});
  EXPECT_NO_THROW(core.LoadNetwork(network, "CPU", {}));
  EXPECT_THROW(core.LoadNetwork(network, "GPU"), ie::Exception);
}

TEST(Core, AConfiguredPluginIsAvailable) {
  const ConfigFile file(
      "<ie><plugins><plugin name=\"CPU\" location=\"libMKLDNNPlugin.so\"/></plugins></ie>");
  ie::Core core(file.path());
  EXPECT_NO_THROW(core.LoadNetwork(smallNetwork(core), "CPU"));
}

TEST(Core, RefusesABadRegistration) {
  struct Case {
    const char* name;
    std::string plugin, device;
  };
  const Case cases[] = {
      {"unknown plug-in", "clDNNPlugin", "GPU"},
      {"device registered twice", "MKLDNNPlugin", "CPU"},
      {"device name with a dot", "MKLDNNPlugin", "CPU.1"},
      {"empty device name", "MKLDNNPlugin", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ConfigFile file("<ie><plugins></plugins></ie>");
    ie::Core core(file.path());
    if (c.device == "CPU") core.RegisterPlugin("MKLDNNPlugin", "CPU");
    EXPECT_THROW(core.RegisterPlugin(c.plugin, c.device), ie::Exception);
  }
}

TEST(Core, ChecksTheLoadConfiguration) {
  ie::Core core;
  const ie::CNNNetwork network = smallNetwork(core);
  EXPECT_NO_THROW(core.LoadNetwork(network, "CPU", {{"CPU_THREADS_NUM", "2"}}));
  const std::map<std::string, std::string> bad[] = {
      {{"CPU_THREADS_NUM", "two"}}, {{"CPU_THREADS_NUM", "-1"}}, {{"NO_SUCH_KEY", "1"}}};
  for (const auto& config : bad)
    EXPECT_THROW(core.LoadNetwork(network, "CPU", config), ie::Exception) << config.begin()->first;
  EXPECT_THROW(core.LoadNetwork(ie::CNNNetwork(), "CPU"), ie::Exception);
}

TEST(Core, EmptyHandlesRaiseInsteadOfCrashing) {
  EXPECT_THROW(ie::ExecutableNetwork().CreateInferRequest(), ie::Exception);
  EXPECT_THROW(ie::InferRequest().Infer(), ie::Exception);
  EXPECT_THROW(ie::InferRequest().GetBlob("in"), ie::Exception);
  EXPECT_THROW(ie::CNNNetwork().getInputsInfo(), ie::Exception);
  EXPECT_THROW(ie::InputInfo().setPrecision(ie::Precision::U8), ie::Exception);

  ie::Core core;
  ie::InferRequest request = core.LoadNetwork(smallNetwork(core), "CPU").CreateInferRequest();
  EXPECT_THROW(request.GetBlob("nothing"), ie::Exception);
}

TEST(Core, AnInjectedFailureHitsTheChosenCallOnce) {
  ie::Core core;
  ie::InferRequest request = core.LoadNetwork(smallNetwork(core), "CPU").CreateInferRequest();
  ie::standin::failCall(ie::standin::Call::Infer, 1);
  EXPECT_NO_THROW(request.Infer());
  EXPECT_THROW(request.Infer(), ie::Exception);
  EXPECT_NO_THROW(request.Infer());

  ie::standin::failCall(ie::standin::Call::ReadNetwork);
  EXPECT_THROW(smallNetwork(core), ie::Exception);
  ie::standin::failCall(ie::standin::Call::CoreConstruction);
  ie::standin::clearFailures();
  EXPECT_NO_THROW(ie::Core{});
}

}  // namespace
