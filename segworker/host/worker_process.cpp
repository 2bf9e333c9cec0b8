#include <algorithm>
#include <cstring>

#include "worker_process.h"

namespace mivra::foreground_detection::host {

Signal WorkerProcess::segment(std::span<const uint8_t> frame, std::span<uint8_t> mask) {
  const std::span<uint8_t> section = frameSection();
  std::memcpy(section.data(), frame.data(), std::min(frame.size(), section.size()));
  setFrame();
  const Signal answer = waitAnswer();
  if (answer == Signal::done) {
    const std::span<const uint8_t> out = maskSection();
    std::memcpy(mask.data(), out.data(), std::min(mask.size(), out.size()));
  }
  return answer;
}

int WorkerProcess::stop() {
  setStop();
  return waitExit();
}

}  // namespace mivra::foreground_detection::host
