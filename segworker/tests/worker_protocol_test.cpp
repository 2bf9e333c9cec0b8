#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "worker_process.h"
#include "worker_program.h"

// The frame exchange as a host sees it, against each worker program of the platform: natively
// the shipped worker, on Windows segworker.exe and the build with the trivial segmenter.
namespace mivra::foreground_detection {
namespace {

using host::Signal;
using host::WorkerOptions;
using host::WorkerProcess;

constexpr uint8_t kUntouched = 0xa5;

// Sections are page-granular on Windows: a view of a section less than a page short maps.
constexpr std::size_t kPage = 0x1000;

struct Worker : WorkerProcess {
  explicit Worker(const std::string& program, const WorkerOptions& options = {}) : WorkerProcess(program, options) {
    auto mask = maskSection();
    std::fill(const_cast<uint8_t*>(mask.data()), const_cast<uint8_t*>(mask.data()) + mask.size(), kUntouched);
  }
  bool maskUntouched() const {
    const auto mask = maskSection();
    return std::all_of(mask.begin(), mask.end(), [](uint8_t b) { return b == kUntouched; });
  }
};

std::vector<uint8_t> greyFrame(uint8_t level) { return std::vector<uint8_t>(kFrameBytes, level); }

class WorkerContract : public testing::TestWithParam<test::WorkerProgram> {
 protected:
  const std::string& program() const { return GetParam().path; }
};

TEST_P(WorkerContract, SixOrMoreNamesStartTheWorkerAndFewerGiveOne) {
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
    Worker worker(program(), options);
    if (c.exitCode == 0) {
      ASSERT_EQ(worker.waitReady(), Signal::done);
      EXPECT_EQ(worker.stop(), 0);
    } else {
      EXPECT_EQ(worker.waitReady(), Signal::exited);
      EXPECT_EQ(worker.waitExit(), c.exitCode);
    }
  }
}

TEST_P(WorkerContract, AnyMissingObjectGivesTwoWithoutReady) {
  for (int missing = 0; missing < 6; ++missing) {
    SCOPED_TRACE(testing::Message() << "object " << missing << " missing");
    WorkerOptions options;
    options.missingObject = missing;
    Worker worker(program(), options);
    EXPECT_EQ(worker.waitReady(), Signal::exited);
    EXPECT_EQ(worker.waitExit(), 2);
  }
}

TEST_P(WorkerContract, StopAlreadySetGivesReadyOnceThenZeroWithoutAFrame) {
  WorkerOptions options;
  options.stopBeforeStart = true;
  Worker worker(program(), options);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitExit(), 0);
  EXPECT_EQ(worker.waitAnswer(), Signal::exited);
  EXPECT_TRUE(worker.maskUntouched());
}

TEST_P(WorkerContract, StopWinsOverAFrameSetAtTheSameTime) {
  WorkerOptions options;
  options.stopBeforeStart = true;
  options.frameBeforeStart = true;
  Worker worker(program(), options);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitExit(), 0);
  EXPECT_EQ(worker.waitAnswer(), Signal::exited);
  EXPECT_TRUE(worker.maskUntouched());
}

TEST_P(WorkerContract, AFrameSetBeforeReadyIsServedAfterIt) {
  WorkerOptions options;
  options.frameBeforeStart = true;
  Worker worker(program(), options);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitAnswer(), Signal::done);
  EXPECT_FALSE(worker.maskUntouched());
  EXPECT_EQ(worker.stop(), 0);
}

TEST_P(WorkerContract, TwoSetsBeforeTheWorkerWakesGiveOneAnswer) {
  WorkerOptions options;
  options.frameBeforeStart = true;
  Worker worker(program(), options);
  worker.setFrame();
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_EQ(worker.waitAnswer(), Signal::done);
  EXPECT_EQ(worker.stop(), 0);
  EXPECT_EQ(worker.waitAnswer(), Signal::exited);
}

TEST_P(WorkerContract, EveryRequestIsAnswered) {
  Worker worker(program());
  ASSERT_EQ(worker.waitReady(), Signal::done);
  std::vector<uint8_t> mask(kMaskBytes);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(worker.segment(greyFrame(uint8_t(i * 12)), mask), Signal::done) << i;
  EXPECT_EQ(worker.stop(), 0);
}

TEST_P(WorkerContract, SectionsTooSmallFailEachRequestAndTheWorkerLives) {
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
    Worker worker(program(), options);
    ASSERT_EQ(worker.waitReady(), Signal::done);
    for (int i = 0; i < 3; ++i) {
      worker.setFrame();
      EXPECT_EQ(worker.waitAnswer(), Signal::fail);
    }
    EXPECT_TRUE(worker.maskUntouched());
    EXPECT_EQ(worker.stop(), 0);
  }
}

// Engine failures, and a stop while the engine is inside a request. The stand-in's call trace
// shows when the worker has reached Infer, so the stop surely finds the frame in flight.
TEST_P(WorkerContract, EngineFailuresGiveThreeAndFourWithoutReady) {
  if (!GetParam().engine) GTEST_SKIP() << "no engine in this worker";
  const std::pair<const char*, int> cases[] = {{"CoreConstruction", 3}, {"ReadNetwork", 3}, {"LoadNetwork", 3},
                                               {"CreateInferRequest", 4}, {"GetBlob:1", 4}};
  for (const auto& [call, exitCode] : cases) {
    SCOPED_TRACE(call);
    WorkerOptions options;
    options.environment = {{"VEXTRA_IE_FAIL", call}};
    Worker worker(program(), options);
    EXPECT_EQ(worker.waitReady(), Signal::exited);
    EXPECT_EQ(worker.waitExit(), exitCode);
  }
}

TEST_P(WorkerContract, StopDuringAFrameEndsWithZeroAfterItsAnswer) {
  if (!GetParam().engine) GTEST_SKIP() << "no engine in this worker";
  namespace fs = std::filesystem;
  const fs::path trace = fs::temp_directory_path() / ("segworker-trace-" + GetParam().name + "-" +
                                                      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  WorkerOptions options;
  options.environment = {{"VEXTRA_IE_TRACE", trace.string()}};
  Worker worker(program(), options);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  worker.setFrame();
  const auto inInfer = [&] {
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);)
      if (line == "Infer") return true;
    return false;
  };
  while (!inInfer()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  worker.setStop();
  EXPECT_EQ(worker.waitAnswer(), Signal::done);
  EXPECT_FALSE(worker.maskUntouched());
  EXPECT_EQ(worker.waitExit(), 0);
  fs::remove(trace);
}

INSTANTIATE_TEST_SUITE_P(Workers, WorkerContract, testing::ValuesIn(test::workerPrograms()),
                         [](const testing::TestParamInfo<test::WorkerProgram>& info) { return info.param.name; });

}  // namespace
}  // namespace mivra::foreground_detection
