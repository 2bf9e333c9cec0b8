#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "worker_main.h"

// The worker's entry and frame loop with a trivial segmenter in place of the engine, for
// platforms where the engine is not built: the mask is frame byte 0. VEXTRA_TEST_SEGMENTER
// set to "no-engine" or "no-context" makes that step fail.
namespace {

using mivra::foreground_detection::kFrameHeight;
using mivra::foreground_detection::kFrameWidth;

bool failing(std::string_view step) {
  const char* value = std::getenv("VEXTRA_TEST_SEGMENTER");
  return value && step == value;
}

struct FirstByte {
  bool segment(const uint8_t* frame, uint32_t frameStride, uint8_t* mask, uint32_t maskStride) {
    for (uint32_t r = 0; r < kFrameHeight; ++r)
      for (uint32_t c = 0; c < kFrameWidth; ++c) mask[r * maskStride + c] = frame[r * frameStride + c * 4];
    return true;
  }
};

struct TestBackend {
  struct Engine {};
  using Context = FirstByte;
  static std::unique_ptr<Engine> createEngine(int) {
    return failing("no-engine") ? nullptr : std::make_unique<Engine>();
  }
  static std::shared_ptr<Context> createContext(Engine&) {
    return failing("no-context") ? nullptr : std::make_shared<Context>();
  }
};

}  // namespace

int main(int argc, char** argv) { return mivra::foreground_detection::workerMain<TestBackend>(argc, argv); }
