#include "faults.h"

#include <array>
#include <mutex>
#include <optional>

#include "errors.h"

namespace InferenceEngine {

namespace {

constexpr size_t callKinds = size_t(standin::Call::Infer) + 1;

struct Plan {
    std::mutex mutex;
    std::array<std::optional<unsigned>, callKinds> remaining;
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
    std::optional<unsigned>& remaining = plan().remaining[size_t(call)];
    if (!remaining)
        return;
    if (*remaining > 0) {
        --*remaining;
        return;
    }
    remaining.reset();
    fail("injected failure", GENERAL_ERROR);
}

}  // namespace InferenceEngine
