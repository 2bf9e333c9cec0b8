#include <charconv>
#include <thread>

#include "cpu_executor.h"
#include "errors.h"
#include "plugin.h"

namespace InferenceEngine::impl {

namespace {

size_t threadCount(const std::map<std::string, std::string>& config) {
  size_t threads = 0;
  for (const auto& [key, value] : config) {
    if (key == "CPU_THREADS_NUM") {
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), threads);
      if (ec != std::errc() || end != value.data() + value.size() || value.empty())
        fail("Wrong value for property key CPU_THREADS_NUM: '" + value + "'", PARAMETER_MISMATCH);
    } else if (key == "CPU_BIND_THREAD") {
      if (value != "YES" && value != "NO" && value != "NUMA")
        fail("Wrong value for property key CPU_BIND_THREAD: '" + value + "'", PARAMETER_MISMATCH);
    } else {
      fail("Unsupported property " + key + " by CPU plugin", NOT_FOUND);
    }
  }
  return threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
}

class CpuPlugin final : public Plugin {
 public:
  std::shared_ptr<CompiledNetwork> compile(
      const NetworkState& network,
      const std::map<std::string, std::string>& config) const override {
    return compileForCpu(network, threadCount(config));
  }
};

}  // namespace

std::shared_ptr<const Plugin> makeCpuPlugin() { return std::make_shared<CpuPlugin>(); }

}  // namespace InferenceEngine::impl
