#pragma once

#include "ie_standin_faults.hpp"

namespace InferenceEngine::impl {

// Raises when a test asked for this call to fail.
void checkInjectedFailure(standin::Call call);

}  // namespace InferenceEngine::impl
