#include "named_objects.h"
#include "posix/host_objects.h"
#include "posix_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace mivra::foreground_detection::platform;
using posix::EventReset;
using posix::ObjectName;

constexpr std::size_t kFrameBytes = 147456;
constexpr std::size_t kMaskBytes = 36864;

std::byte patternAt(std::size_t i, unsigned seed) { return std::byte((i * 31 + seed) & 0xff); }

bool holdsPattern(const std::byte* data, std::size_t size, unsigned seed) {
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != patternAt(i, seed)) return false;
  }
  return true;
}

void writePattern(std::byte* data, std::size_t size, unsigned seed) {
  for (std::size_t i = 0; i < size; ++i) data[i] = patternAt(i, seed);
}

// One request's round trip, the host in this process and the worker in a child: each side
// keeps its view mapped while the other writes, so they share memory rather than copies.
TEST(SectionViews, SeeEachOthersWritesAcrossProcesses) {
  const ObjectName frameName(segtest::uniqueName("frame"));
  const ObjectName maskName(segtest::uniqueName("mask"));
  const ObjectName requestName(segtest::uniqueName("request"));
  const ObjectName answerName(segtest::uniqueName("answer"));
  const Section frame = posix::createSection(frameName.str(), kFrameBytes);
  const Section mask = posix::createSection(maskName.str(), kMaskBytes);
  Event request = posix::createEvent(requestName.str(), EventReset::automatic);
  Event answer = posix::createEvent(answerName.str(), EventReset::automatic);
  const WriteView hostFrame = mapWriteView(frame, kFrameBytes);
  const ReadView hostMask = mapReadView(mask, kMaskBytes);
  ASSERT_TRUE(hostFrame && hostMask);

  segtest::Child worker([&] {
    Event request = openEvent(requestName.c_str(), EventAccess::waitAndModify);
    Event answer = openEvent(answerName.c_str(), EventAccess::modify);
    const Section frame = openSection(frameName.c_str(), SectionAccess::read);
    const Section mask = openSection(maskName.c_str(), SectionAccess::write);
    const ReadView frameView = mapReadView(frame, kFrameBytes);
    const WriteView maskView = mapWriteView(mask, kMaskBytes);
    if (!request || !answer || !frameView || !maskView) return 2;
    answer.set();
    Event* const one[] = {&request};
    if (waitForAny(one) != 0u) return 3;
    if (!holdsPattern(frameView.data(), kFrameBytes, 7)) return 4;
    writePattern(maskView.data(), kMaskBytes, 11);
    answer.set();
    return 0;
  });

  Event* const one[] = {&answer};
  ASSERT_EQ(waitForAny(one), 0u);
  writePattern(hostFrame.data(), kFrameBytes, 7);
  request.set();
  ASSERT_EQ(waitForAny(one), 0u);
  EXPECT_TRUE(holdsPattern(hostMask.data(), kMaskBytes, 11));
  EXPECT_EQ(worker.exitCode(), 0);
}

TEST(SectionViews, OutliveTheirSectionHandle) {
  const ObjectName name(segtest::uniqueName("outlive"));
  WriteView view;
  {
    const Section section = posix::createSection(name.str(), 4096);
    view = mapWriteView(section, 4096);
  }
  ASSERT_TRUE(view);
  writePattern(view.data(), 4096, 3);
  const Section again = openSection(name.c_str(), SectionAccess::read);
  const ReadView read = mapReadView(again, 4096);
  ASSERT_TRUE(read);
  EXPECT_TRUE(holdsPattern(read.data(), 4096, 3));
}

}  // namespace
