#pragma once

#include <cstring>
#include <vector>

#include "kernel_surface.h"

// The input buffer of a kernel-streaming property request, as a client builds it:
// KSPROPERTY, or KSNODEPROPERTY for a node, then the instance data.
namespace kstandin {

class PropertyInput {
 public:
  static PropertyInput Filter(const GUID& set, ULONG id, ULONG verb) {
    PropertyInput input;
    const KSPROPERTY property{set, id, verb};
    input.Append(&property, sizeof property);
    return input;
  }
  static PropertyInput Node(const GUID& set, ULONG id, ULONG verb, ULONG node) {
    PropertyInput input;
    const KSNODEPROPERTY property{{set, id, verb | KSPROPERTY_TYPE_TOPOLOGY}, node, 0};
    input.Append(&property, sizeof property);
    return input;
  }
  // A pin property: KSP_PIN.
  static PropertyInput Pin(const GUID& set, ULONG id, ULONG verb, ULONG pin) {
    PropertyInput input = Filter(set, id, verb);
    const ULONG rest[2] = {pin, 0};
    input.Append(rest, sizeof rest);
    return input;
  }

  template <typename T>
  PropertyInput& With(const T& instance) {
    Append(&instance, sizeof instance);
    return *this;
  }
  PropertyInput& Truncate(size_t size) {
    bytes_.resize(size);
    return *this;
  }

  const void* data() const { return bytes_.data(); }
  ULONG size() const { return static_cast<ULONG>(bytes_.size()); }

 private:
  void Append(const void* data, size_t size) {
    const size_t at = bytes_.size();
    bytes_.resize(at + size);
    std::memcpy(bytes_.data() + at, data, size);
  }

  std::vector<unsigned char> bytes_;
};

}  // namespace kstandin
