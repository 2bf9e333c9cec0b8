#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "media.h"
#include "worker_process.h"

// The shipped worker and builds of it with other networks, on this machine's engine: set-up
// and context failures, what the engine is asked, and masks of real photographs.
namespace mivra::foreground_detection {
namespace {

namespace fs = std::filesystem;
using host::Signal;
using host::WorkerOptions;
using host::WorkerProcess;

std::string variant(const char* name) { return std::string(SEGWORKER_TEST_DIR) + "/" + name; }

// A temporary directory of the test's own, also holding the engine's call trace.
struct Scratch {
  fs::path dir;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "segworker-test-XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
    fs::create_directory(dir / "tmp");
  }
  ~Scratch() { fs::remove_all(dir); }
  fs::path tmp() const { return dir / "tmp"; }
  fs::path trace() const { return dir / "trace"; }
  std::vector<std::string> calls() const {
    std::ifstream in(trace());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool tmpIsEmpty() const { return fs::is_empty(tmp()); }
  WorkerOptions options(std::vector<std::pair<std::string, std::string>> more = {}) const {
    WorkerOptions options;
    options.environment = std::move(more);
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"TMPDIR", tmp().string()},
                                     {"VEXTRA_IE_TRACE", trace().string()}})
      if (std::none_of(options.environment.begin(), options.environment.end(),
                       [&](const auto& e) { return e.first == key; }))
        options.environment.emplace_back(key, value);
    return options;
  }
};

int exitWithoutReady(WorkerProcess& worker) {
  if (worker.waitReady() == Signal::done) {
    ADD_FAILURE() << "the worker became ready";
    worker.setStop();
  }
  return worker.waitExit();
}

std::vector<uint8_t> picture(const char* name) {
  return vextra::media::readPicture(std::string(VEXTRA_PICTURES_DIR) + "/" + name, int(kFrameWidth),
                                    int(kFrameHeight), vextra::media::Fit::cover);
}

std::vector<uint8_t> segmentAll(WorkerProcess& worker, const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> masks;
  std::vector<uint8_t> mask(kMaskBytes);
  for (const auto& frame : frames) {
    EXPECT_EQ(worker.segment(frame, mask), Signal::done);
    masks.insert(masks.end(), mask.begin(), mask.end());
  }
  return masks;
}

double meanOver(const std::vector<uint8_t>& mask, uint32_t c0, uint32_t c1, uint32_t r0, uint32_t r1) {
  double sum = 0;
  for (uint32_t r = r0; r < r1; ++r)
    for (uint32_t c = c0; c < c1; ++c) sum += mask[r * kMaskStride + c];
  return sum / double((c1 - c0) * (r1 - r0)) / 255.0;
}

TEST(WorkerEngine, SetUpAsksTheEngineInOrderAndLeavesNoFileBehind) {
  Scratch scratch;
  WorkerProcess worker(SEGWORKER_PROGRAM, scratch.options());
  ASSERT_EQ(worker.waitReady(), Signal::done);
  EXPECT_TRUE(scratch.tmpIsEmpty());
  EXPECT_EQ(worker.stop(), 0);
  const std::vector<std::string> expected = {"CoreConstruction", "RegisterPlugin",     "ReadNetwork", "LoadNetwork",
                                             "CreateInferRequest", "GetBlob", "GetBlob"};
  EXPECT_EQ(scratch.calls(), expected);
}

TEST(WorkerEngine, NothingTouchesTheEngineBeforeTheObjectsAreOpen) {
  for (const int missing : {0, 5}) {
    Scratch scratch;
    WorkerOptions options = scratch.options();
    options.missingObject = missing;
    WorkerProcess worker(SEGWORKER_PROGRAM, options);
    EXPECT_EQ(exitWithoutReady(worker), 2);
    EXPECT_TRUE(scratch.calls().empty());
  }
  Scratch scratch;
  WorkerOptions options = scratch.options();
  options.namesPassed = 5;
  WorkerProcess worker(SEGWORKER_PROGRAM, options);
  EXPECT_EQ(exitWithoutReady(worker), 1);
  EXPECT_TRUE(scratch.calls().empty());
}

TEST(WorkerEngine, SetUpFailuresGiveThreeAndLeaveNoFile) {
  struct Case {
    const char* what;
    std::string program;
    std::vector<std::pair<std::string, std::string>> environment;
  };
  const Case cases[] = {
      {"no temporary directory", SEGWORKER_PROGRAM, {{"TMPDIR", "/nonexistent/segworker-test"}}},
      {"core cannot be built", SEGWORKER_PROGRAM, {{"VEXTRA_IE_FAIL", "CoreConstruction"}}},
      {"plug-in not registered", SEGWORKER_PROGRAM, {{"VEXTRA_IE_FAIL", "RegisterPlugin"}}},
      {"network not read", SEGWORKER_PROGRAM, {{"VEXTRA_IE_FAIL", "ReadNetwork"}}},
      {"network not loaded", SEGWORKER_PROGRAM, {{"VEXTRA_IE_FAIL", "LoadNetwork"}}},
      {"enciphered under another key", variant("segworker_foreign_key"), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch scratch;
    WorkerProcess worker(c.program, scratch.options(c.environment));
    EXPECT_EQ(exitWithoutReady(worker), 3);
    EXPECT_TRUE(scratch.tmpIsEmpty());
  }
  // A file where the temporary directory should be.
  Scratch scratch;
  std::ofstream(scratch.dir / "file") << "x";
  WorkerProcess worker(SEGWORKER_PROGRAM, scratch.options({{"TMPDIR", (scratch.dir / "file").string()}}));
  EXPECT_EQ(exitWithoutReady(worker), 3);
  EXPECT_TRUE(scratch.calls().empty());
}

TEST(WorkerEngine, ContextFailuresGiveFour) {
  struct Case {
    const char* what;
    std::string program;
    std::vector<std::pair<std::string, std::string>> environment;
  };
  const Case cases[] = {
      {"output (1, 1, 256, 144)", variant("segworker_transposed"), {}},
      {"network larger than the sections", variant("segworker_oversized"), {}},
      {"no request", SEGWORKER_PROGRAM, {{"VEXTRA_IE_FAIL", "CreateInferRequest"}}},
      {"no output blob", SEGWORKER_PROGRAM, {{"VEXTRA_IE_FAIL", "GetBlob:1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch scratch;
    WorkerProcess worker(c.program, scratch.options(c.environment));
    EXPECT_EQ(exitWithoutReady(worker), 4);
    EXPECT_TRUE(scratch.tmpIsEmpty());
  }
}

TEST(WorkerMasks, TheMaskIsFedBackAndByteThreeIsIgnored) {
  const std::vector<uint8_t> person = picture("astronaut.png");
  std::vector<uint8_t> noisyByte3 = person;
  std::mt19937 random(7);
  for (size_t i = 3; i < noisyByte3.size(); i += 4) noisyByte3[i] = uint8_t(random());

  WorkerProcess plain(SEGWORKER_PROGRAM);
  WorkerProcess noisy(SEGWORKER_PROGRAM);
  ASSERT_EQ(plain.waitReady(), Signal::done);
  ASSERT_EQ(noisy.waitReady(), Signal::done);
  const std::vector<uint8_t> a = segmentAll(plain, {person, person});
  const std::vector<uint8_t> b = segmentAll(noisy, {noisyByte3, noisyByte3});
  EXPECT_EQ(a, b);
  EXPECT_FALSE(std::equal(a.begin(), a.begin() + kMaskBytes, a.begin() + kMaskBytes));
}

TEST(WorkerMasks, AFailedFrameKeepsThePreviousMaskOfTheLastGoodOne) {
  const std::vector<uint8_t> person = picture("astronaut.png");
  WorkerProcess clean(SEGWORKER_PROGRAM);
  ASSERT_EQ(clean.waitReady(), Signal::done);
  const std::vector<uint8_t> expected = segmentAll(clean, {person, person});

  WorkerOptions options;
  options.environment = {{"VEXTRA_IE_FAIL", "Infer:1"}};
  WorkerProcess failing(SEGWORKER_PROGRAM, options);
  ASSERT_EQ(failing.waitReady(), Signal::done);
  std::vector<uint8_t> first(kMaskBytes), second(kMaskBytes, 0x5a), third(kMaskBytes);
  ASSERT_EQ(failing.segment(person, first), Signal::done);
  std::vector<uint8_t> before(failing.maskSection().begin(), failing.maskSection().end());
  EXPECT_EQ(failing.segment(person, second), Signal::fail);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), failing.maskSection().begin()));
  ASSERT_EQ(failing.segment(person, third), Signal::done);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), expected.begin()));
  EXPECT_TRUE(std::equal(third.begin(), third.end(), expected.begin() + kMaskBytes));
}

TEST(WorkerMasks, APersonIsForegroundAndPlainTexturesAreNot) {
  WorkerProcess worker(SEGWORKER_PROGRAM);
  ASSERT_EQ(worker.waitReady(), Signal::done);
  // A few frames of the same picture, as from a still camera, so the fed-back mask settles.
  const auto settled = [&](const char* name) {
    const std::vector<uint8_t> frame = picture(name);
    const std::vector<uint8_t> masks = segmentAll(worker, {frame, frame, frame, frame});
    return std::vector<uint8_t>(masks.end() - std::ptrdiff_t(kMaskBytes), masks.end());
  };
  const std::vector<uint8_t> person = settled("astronaut.png");
  EXPECT_GT(meanOver(person, 90, 150, 60, 130), 0.8) << "the astronaut's body";
  EXPECT_LT(meanOver(person, 0, 40, 0, 50), 0.2) << "the flag behind her";
  EXPECT_LT(meanOver(person, 215, 256, 0, 50), 0.2) << "the rocket model behind her";
  for (const char* texture : {"grass.png", "gravel.png", "brick.png"}) {
    const std::vector<uint8_t> mask = settled(texture);
    EXPECT_LT(meanOver(mask, 0, kFrameWidth, 0, kFrameHeight), 0.25) << texture;
  }
}

}  // namespace
}  // namespace mivra::foreground_detection
