#include "faults.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "errors.h"

namespace InferenceEngine {

namespace {

using standin::Call;

constexpr size_t callKinds = size_t(Call::Infer) + 1;

// In the order of the enumerators: the names that the environment variables use.
constexpr std::array<std::string_view, callKinds> callNames = {
    "CoreConstruction",   "RegisterPlugin", "ReadNetwork", "LoadNetwork",
    "CreateInferRequest", "GetBlob",        "Infer"};

std::optional<Call> callNamed(std::string_view name) {
  for (size_t k = 0; k < callKinds; ++k)
    if (callNames[k] == name) return Call(k);
  return std::nullopt;
}

struct Plan {
  std::mutex mutex;
  std::array<std::optional<unsigned>, callKinds> remaining;
  std::string tracePath;

  // A process started by a test inherits its failures and its trace through the environment.
  Plan() {
    if (const char* path = std::getenv("VEXTRA_IE_TRACE")) tracePath = path;
    const char* fail = std::getenv("VEXTRA_IE_FAIL");
    std::string_view entries = fail ? fail : "";
    while (!entries.empty()) {
      const size_t comma = entries.find(',');
      const std::string_view entry = entries.substr(0, comma);
      entries = comma == std::string_view::npos ? std::string_view() : entries.substr(comma + 1);
      const size_t colon = entry.find(':');
      const std::optional<Call> call = callNamed(entry.substr(0, colon));
      unsigned skip = 0;
      if (colon != std::string_view::npos) {
        const std::string_view digits = entry.substr(colon + 1);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), skip);
        if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) continue;
      }
      if (call) remaining[size_t(*call)] = skip;
    }
  }

  void trace(Call call) const {
    if (tracePath.empty()) return;
    // Opened for each line so that every process's lines land whole, in the order written.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(tracePath.c_str(), "a"),
                                                               std::fclose);
    if (file)
      std::fprintf(file.get(), "%.*s\n", int(callNames[size_t(call)].size()),
                   callNames[size_t(call)].data());
  }
};

Plan& plan() {
  static Plan instance;
  return instance;
}

}  // namespace

void standin::failCall(Call call, unsigned skip) {
  const std::lock_guard lock(plan().mutex);
  plan().remaining[size_t(call)] = skip;
}

void standin::clearFailures() {
  const std::lock_guard lock(plan().mutex);
  plan().remaining.fill(std::nullopt);
}

void impl::checkInjectedFailure(standin::Call call) {
  const std::lock_guard lock(plan().mutex);
  plan().trace(call);
  std::optional<unsigned>& remaining = plan().remaining[size_t(call)];
  if (!remaining) return;
  if (*remaining > 0) {
    --*remaining;
    return;
  }
  remaining.reset();
  fail("injected failure", GENERAL_ERROR);
}

}  // namespace InferenceEngine
