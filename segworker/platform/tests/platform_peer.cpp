// The other process of the contract tests, on either platform, using only the seam:
//   wait <first> <second>         waits on the pair in that order; exits with the index
//                                 woken (100 if the wait failed)
//   serve <frame> <mask> <request> <answer> <length>
//                                 answers one request by copying the frame's bytes, plus 1,
//                                 into the mask (exits 0, or 2 to 4 on a failed step)
#include "named_objects.h"

#include <cstdlib>
#include <cstring>

using namespace mivra::foreground_detection::platform;

namespace {

int waitOnPair(const char* stopName, const char* frameName) {
  Event stop = openEvent(stopName, EventAccess::wait);
  Event frame = openEvent(frameName, EventAccess::waitAndModify);
  Event* const pair[] = {&stop, &frame};
  const auto woken = waitForAny(pair);
  return woken ? static_cast<int>(*woken) : 100;
}

int serveOne(char** names, std::size_t length) {
  const Section frame = openSection(names[0], SectionAccess::read);
  const Section mask = openSection(names[1], SectionAccess::write);
  Event request = openEvent(names[2], EventAccess::waitAndModify);
  Event answer = openEvent(names[3], EventAccess::modify);
  const ReadView frameView = mapReadView(frame, length);
  const WriteView maskView = mapWriteView(mask, length);
  if (!request || !answer || !frameView || !maskView) return 2;
  answer.set();
  Event* const one[] = {&request};
  if (waitForAny(one) != 0u) return 3;
  for (std::size_t i = 0; i < length; ++i) {
    maskView.data()[i] = std::byte(std::to_integer<unsigned>(frameView.data()[i]) + 1);
  }
  answer.set();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "wait") == 0) return waitOnPair(argv[2], argv[3]);
  if (argc == 7 && std::strcmp(argv[1], "serve") == 0)
    return serveOne(argv + 2, std::strtoul(argv[6], nullptr, 10));
  return 4;
}
