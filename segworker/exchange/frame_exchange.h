#pragma once

#include <concepts>
#include <cstdint>
#include <optional>

#include "frame_geometry.h"
#include "named_objects.h"

namespace mivra::foreground_detection {

// The six objects named on the command line, in command-line order.
struct WorkerObjects {
  platform::Event stop;
  platform::Event frame;
  platform::Event done;
  platform::Event fail;
  platform::Section frameSection;
  platform::Section maskSection;

  WorkerObjects() = default;
  WorkerObjects(WorkerObjects&&) = default;
  WorkerObjects& operator=(WorkerObjects&&) = default;
  // Members would close in reverse; the handles go in command-line order.
  ~WorkerObjects() { close(); }
  void close() noexcept;
};

// Opens all six (one call each, whatever the others gave), then checks them in order. When
// one is missing, those that did open are closed and nothing is returned.
std::optional<WorkerObjects> openWorkerObjects(const char* const names[6]);

template <typename S>
concept FrameSegmenter = requires(S& s, const uint8_t* frame, uint8_t* mask) {
  { s.segment(frame, uint32_t{}, mask, uint32_t{}) } -> std::same_as<bool>;
};

// Answers frame requests until the stop event is seen or the wait fails. A stop set together
// with a frame wins. Views exist only while one request is served, and the answer is set
// before they go.
template <FrameSegmenter Segmenter>
void serveFrames(WorkerObjects& objects, Segmenter& segmenter) {
  platform::Event* const waitSet[] = {&objects.stop, &objects.frame};
  for (;;) {
    if (platform::waitForAny(waitSet) != std::optional<std::size_t>(1)) return;
    // Before the sections are touched: a frame set after this starts the next request.
    objects.frame.reset();
    const platform::ReadView frame = platform::mapReadView(objects.frameSection, kFrameBytes);
    if (!frame) {
      objects.fail.set();
      continue;
    }
    const platform::WriteView mask = platform::mapWriteView(objects.maskSection, kMaskBytes);
    if (!mask) {
      objects.fail.set();
      continue;
    }
    const bool written = segmenter.segment(reinterpret_cast<const uint8_t*>(frame.data()), kFrameStride,
                                           reinterpret_cast<uint8_t*>(mask.data()), kMaskStride);
    (written ? objects.done : objects.fail).set();
    // mask, then frame, are unmapped here.
  }
}

}  // namespace mivra::foreground_detection
