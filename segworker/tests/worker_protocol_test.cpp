#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "worker_process.h"
#include "worker_program.h"

// The frame exchange as a host sees it, against a real worker process.
namespace mivra::foreground_detection {
namespace {

using host::Signal;
using host::WorkerOptions;
using host::WorkerProcess;

constexpr uint8_t kUntouched = 0xa5;

// Sections are page-granular on Windows: a view of a section less than a page short maps.
constexpr std::size_t kPage = 0x1000;

struct Worker : WorkerProcess {
  explicit Worker(const WorkerOptions& options = {}) : WorkerProcess(test::workerProgram(), options) {
    auto mask = maskSection();
    std::fill(const_cast<uint8_t*>(mask.data()), const_cast<uint8_t*>(mask.data()) + mask.size(), kUntouched);
  }
  bool maskUntouched() const {
    const auto mask = maskSection();
    return std::all_of(mask.begin(), mask.end(), [](uint8_t b) { return b == kUntouched; });
  }
};

std::vector<uint8_t> greyFrame(uint8_t level) { return std::vector<uint8_t>(kFrameBytes, level); }

TEST(WorkerArguments, SixOrMoreStartTheWorkerAndFewerGiveOne) {
  struct Case {
    int names;
    std::vector<std::string> extra;
    int exitCode;
  };
  const Case cases[] = {{6, {}, 0}, {6, {"extra"}, 0}, {6, {"x", "y", "z"}, 0}, {5, {}, 1}, {0, {}, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.names << " names and " << c.extra.size() << " more");
    WorkerOptions options;
    options.namesPassed = c.names;
    options.extraArguments = c.extra;
    Worker worker(options);
    if (c.exitCode == 0) {
      ASSERT_EQ(worker.waitReady(), Signal::done);
      EXPECT_EQ(worker.stop(), 0);
    } else {
      EXPECT_EQ(worker.waitReady(), Signal::exited);
      EXPECT_EQ(worker.waitExit(), c.exitCode);
    }
  }
}

TEST(WorkerArguments, AnyMissingObjectGivesTwoWithoutReady) {
  for (int missing = 0; missing < 6; ++missing) {
    SCOPED_TRACE(testing::Message() << "object " << missing << " missing");
    WorkerOptions options;
    options.missingObject = missing;
    Worker worker(options);
    EXPECT_EQ(worker.waitReady(), Signal::exited);
    EXPECT_EQ(worker.waitExit(), 2);
  }
}

TEST(WorkerStop, StopAlreadySetGivesReadyOnceThenZeroWithoutAFrame) {
  WorkerOptions options;
  options.stopBeforeStart = true;
  Worker worker(options);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitExit(), 0);
  EXPECT_EQ(worker.waitAnswer(), Signal::exited);
  EXPECT_TRUE(worker.maskUntouched());
}

TEST(WorkerStop, StopWinsOverAFrameSetAtTheSameTime) {
  WorkerOptions options;
  options.stopBeforeStart = true;
  options.frameBeforeStart = true;
  Worker worker(options);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitExit(), 0);
  EXPECT_EQ(worker.waitAnswer(), Signal::exited);
  EXPECT_TRUE(worker.maskUntouched());
}

TEST(WorkerFrames, AFrameSetBeforeReadyIsServedAfterIt) {
  WorkerOptions options;
  options.frameBeforeStart = true;
  Worker worker(options);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitAnswer(), Signal::done);
  EXPECT_FALSE(worker.maskUntouched());
  EXPECT_EQ(worker.stop(), 0);
}

TEST(WorkerFrames, TwoSetsBeforeTheWorkerWakesGiveOneAnswer) {
  WorkerOptions options;
  options.frameBeforeStart = true;
  Worker worker(options);
  worker.setFrame();
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitAnswer(), Signal::done);
  EXPECT_EQ(worker.stop(), 0);
  EXPECT_EQ(worker.waitAnswer(), Signal::exited);
}

TEST(WorkerFrames, EveryRequestIsAnswered) {
  Worker worker;
  ASSERT_EQ(worker.waitReady(), Signal::done);
  std::vector<uint8_t> mask(kMaskBytes);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(worker.segment(greyFrame(uint8_t(i * 12)), mask), Signal::done) << i;
  EXPECT_EQ(worker.stop(), 0);
}

TEST(WorkerFrames, SectionsTooSmallFailEachRequestAndTheWorkerLives) {
  struct Case {
    const char* what;
    std::size_t frameBytes;
    std::size_t maskBytes;
  };
  const Case cases[] = {{"frame section", kFrameBytes - kPage, kMaskBytes},
                        {"mask section", kFrameBytes, kMaskBytes - kPage}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WorkerOptions options;
    options.frameSectionBytes = c.frameBytes;
    options.maskSectionBytes = c.maskBytes;
    Worker worker(options);
    ASSERT_EQ(worker.waitReady(), Signal::done);
    for (int i = 0; i < 3; ++i) {
      worker.setFrame();
      EXPECT_EQ(worker.waitAnswer(), Signal::fail);
    }
    EXPECT_TRUE(worker.maskUntouched());
    EXPECT_EQ(worker.stop(), 0);
  }
}

}  // namespace
}  // namespace mivra::foreground_detection
