#pragma once

#include <string>

#include "ie_common.h"

namespace InferenceEngine::impl {

[[noreturn]] inline void fail(const std::string& message, StatusCode status = GENERAL_ERROR) {
  throw Exception(message, status);
}

}  // namespace InferenceEngine::impl
