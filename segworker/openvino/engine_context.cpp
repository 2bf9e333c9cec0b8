#include "engine_context.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "frame_geometry.h"

namespace mivra::foreground_detection::openvino {

namespace ie = InferenceEngine;

struct EngineContext::Impl {
  ie::ExecutableNetwork network;
  NetworkInfo info;
  ie::InferRequest request;
  ie::MemoryBlob::Ptr input;
  ie::MemoryBlob::Ptr output;
  std::vector<uint8_t> previousMask;

  bool fitsTheExchange() const {
    const size_t pixels = size_t(info.inputWidth) * info.inputHeight;
    return input && output && info.inputWidth == info.outputWidth && info.inputHeight == info.outputHeight &&
           info.inputWidth != 0 && info.inputHeight != 0 &&
           // The sections hold one 256 × 144 frame and mask.
           info.inputWidth <= kFrameWidth && info.inputHeight <= kFrameHeight &&
           // Packing writes one word per pixel and conversion reads one float per pixel.
           input->byteSize() >= pixels * sizeof(uint32_t) && output->byteSize() >= pixels * sizeof(float);
  }
};

uint8_t maskByte(float probability) noexcept {
  // Clamped where a plain conversion would wrap; zero first, so that NaN gives 0. The
  // conversion then truncates toward zero. Written as min and max, the mask loop vectorises.
  return uint8_t(std::min(std::max(0.0f, probability * 255.0f), 255.0f));
}

EngineContext::EngineContext(const Engine& engine) noexcept {
  try {
    auto impl = std::make_unique<Impl>();
    impl->network = engine.network;
    impl->info = engine.info;
    impl->request = impl->network.CreateInferRequest();
    impl->input = ie::as<ie::MemoryBlob>(impl->request.GetBlob(impl->info.inputName));
    impl->output = ie::as<ie::MemoryBlob>(impl->request.GetBlob(impl->info.outputName));
    impl->previousMask.assign(size_t(impl->info.outputHeight) * impl->info.outputWidth, 0);
    if (impl->fitsTheExchange()) impl_ = std::move(impl);
  } catch (...) {
    impl_.reset();
  }
}

EngineContext::~EngineContext() = default;

bool EngineContext::segment(const uint8_t* frame, uint32_t frameStride, uint8_t* mask, uint32_t maskStride) noexcept {
  if (!impl_) return false;
  try {
    Impl& s = *impl_;
    const uint32_t h = s.info.inputHeight, w = s.info.inputWidth;
    {
      ie::LockedMemory<void> locked = s.input->wmap();
      uint32_t* words = locked.as<uint32_t*>();
      const uint8_t* previous = s.previousMask.data();
      size_t k = 0;
      for (uint32_t r = 0; r < h; ++r) {
        const uint8_t* row = frame + size_t(r) * frameStride;
        for (uint32_t c = 0; c < w; ++c, ++k) {
          uint32_t pixel;
          std::memcpy(&pixel, row + size_t(c) * 4, sizeof pixel);
          words[k] = (pixel & 0x00ffffffu) | (uint32_t(previous[k]) << 24);
        }
      }
    }
    s.request.Infer();
    {
      ie::LockedMemory<const void> locked = s.output->rmap();
      const float* probabilities = locked.as<const float*>();
      // Plain pointers: a byte store may alias the vector's own pointer, which would be reloaded
      // on every pixel and keep the loop from vectorising.
      uint8_t* previous = s.previousMask.data();
      const size_t count = s.previousMask.size();
      for (size_t k = 0; k < count; ++k) previous[k] = maskByte(probabilities[k]);
    }
    for (uint32_t r = 0; r < h; ++r)
      std::memcpy(mask + size_t(r) * maskStride, s.previousMask.data() + size_t(r) * w, w);
    return true;
  } catch (...) {
    return false;
  }
}

std::shared_ptr<EngineContext> createContext(const Engine& engine) noexcept {
  try {
    auto context = std::make_shared<EngineContext>(engine);
    if (!context->usable()) return nullptr;
    return context;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace mivra::foreground_detection::openvino
