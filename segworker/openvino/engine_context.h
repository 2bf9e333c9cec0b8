#pragma once

#include <cstdint>
#include <memory>

#include "engine.h"

namespace mivra::foreground_detection::openvino {

// Turns frames into foreground masks on one inference request, feeding each mask back to the
// network with the next frame. One thread at a time.
class EngineContext {
 public:
  explicit EngineContext(const Engine& engine) noexcept;
  ~EngineContext();
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;

  bool usable() const noexcept { return impl_ != nullptr; }

  // Frame: 32-bit pixels, bytes 0 to 2 used. Mask: one byte per pixel. True when the mask
  // was written; never throws.
  bool segment(const uint8_t* frame, uint32_t frameStride, uint8_t* mask, uint32_t maskStride) noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Empty when the network does not fit the exchange or the request cannot be made.
std::shared_ptr<EngineContext> createContext(const Engine& engine) noexcept;

// The fed-back byte for a network output: output x 255 truncated toward zero, clamped to
// 0..255 (NaN gives 0).
uint8_t maskByte(float probability) noexcept;

}  // namespace mivra::foreground_detection::openvino
