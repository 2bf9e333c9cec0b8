#pragma once

#include "ie_blob.h"

namespace InferenceEngine {

namespace impl {
class Request;
}

// A synchronous request. Copies share one request.
class InferRequest {
 public:
  using Ptr = std::shared_ptr<InferRequest>;

  InferRequest() = default;
  explicit InferRequest(std::shared_ptr<impl::Request> request) noexcept
      : request_(std::move(request)) {}

  // The request's own blob for an input or output name; it stays the same for every Infer.
  Blob::Ptr GetBlob(const std::string& name);
  void Infer();

  explicit operator bool() const noexcept { return request_ != nullptr; }
  bool operator!() const noexcept { return request_ == nullptr; }

 private:
  impl::Request& checked() const;

  std::shared_ptr<impl::Request> request_;
};

}  // namespace InferenceEngine
