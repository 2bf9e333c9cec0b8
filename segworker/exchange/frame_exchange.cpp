#include "frame_exchange.h"

namespace mivra::foreground_detection {

using platform::EventAccess;
using platform::SectionAccess;

void WorkerObjects::close() noexcept {
  stop = {};
  frame = {};
  done = {};
  fail = {};
  frameSection = {};
  maskSection = {};
}

std::optional<WorkerObjects> openWorkerObjects(const char* const names[6]) {
  WorkerObjects objects;
  objects.stop = platform::openEvent(names[0], EventAccess::wait);
  objects.frame = platform::openEvent(names[1], EventAccess::waitAndModify);
  objects.done = platform::openEvent(names[2], EventAccess::modify);
  objects.fail = platform::openEvent(names[3], EventAccess::modify);
  objects.frameSection = platform::openSection(names[4], SectionAccess::read);
  objects.maskSection = platform::openSection(names[5], SectionAccess::write);
  const bool allOpen = objects.stop && objects.frame && objects.done && objects.fail && objects.frameSection &&
                       objects.maskSection;
  if (!allOpen) return std::nullopt;  // closes the ones that opened, in order
  return objects;
}

}  // namespace mivra::foreground_detection
