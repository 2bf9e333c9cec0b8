#pragma once

#include <cstddef>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace InferenceEngine {

using SizeVector = std::vector<size_t>;

enum StatusCode : int {
  OK = 0,
  GENERAL_ERROR = -1,
  NOT_IMPLEMENTED = -2,
  NETWORK_NOT_LOADED = -3,
  PARAMETER_MISMATCH = -4,
  NOT_FOUND = -5,
  OUT_OF_BOUNDS = -6,
  UNEXPECTED = -7,
  REQUEST_BUSY = -8,
  RESULT_NOT_READY = -9,
  NOT_ALLOCATED = -10,
  INFER_NOT_STARTED = -11,
  NETWORK_NOT_READ = -12
};

// Every failure of the engine reaches the caller as this type.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message, StatusCode status = GENERAL_ERROR)
      : message_(std::move(message)), status_(status) {}
  const char* what() const noexcept override { return message_.c_str(); }
  StatusCode getStatus() const noexcept { return status_; }

 private:
  std::string message_;
  StatusCode status_;
};

namespace details {
using InferenceEngineException = Exception;
}

}  // namespace InferenceEngine
