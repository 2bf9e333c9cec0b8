// The exports built into this program, whose allocations can be made to fail one at a time:
// an Encode or StopEncoding that runs out of memory at any allocation fails with a last error
// code, leaves no bitstream buffer locked and no slot busy, and loses no picture the driver
// still holds.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "gpucodec.h"
#include "plugin_fixture.h"

namespace {

std::atomic<long> g_allocationsBeforeFailure{-1};  // -1: none fails
std::atomic<bool> g_failed{false};

}  // namespace

void* operator new(std::size_t size) {
  if (g_allocationsBeforeFailure.load() >= 0 && g_allocationsBeforeFailure.fetch_sub(1) == 0) {
    g_failed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace gpucodec_test {
namespace {

// Runs call with its nth allocation failing; answers its result and whether that happened.
template <class Call>
std::pair<HRESULT, bool> WithNthAllocationFailing(long n, Call&& call) {
  g_failed = false;
  g_allocationsBeforeFailure = n - 1;
  const HRESULT result = call();
  g_allocationsBeforeFailure = -1;
  return {result, g_failed.load()};
}

class OutOfMemory : public PluginTest {
 protected:
  HRESULT EncodePrepared(uint32_t index) {
    EncoderVideoFrame frame = {};
    frame.fourcc = GPUCODEC_FOURCC_NV12;
    frame.width = kSize;
    frame.height = kSize;
    frame.timestamp = index;
    frame.pixels = pictures_[index % pictures_.size()].data();
    return Encode(0, &frame);
  }

  static constexpr uint32_t kSize = 64;
  const std::vector<std::vector<uint8_t>> pictures_{PatternFrame(kSize, kSize, 0),
                                                     PatternFrame(kSize, kSize, 1),
                                                     PatternFrame(kSize, kSize, 2)};
};

TEST_F(OutOfMemory, EncodeFailsCleanlyAtEachAllocation) {
  for (const int async : {0, 1}) {
    WriteSettings({{L"AsyncMode", async}});
    long n = 1;
    for (;; ++n) {
      probe_.Reset();
      ASSERT_EQ(Start(kSize, kSize), S_OK);
      ASSERT_EQ(EncodePrepared(0), S_OK);
      // So that the next Encode collects it, in either mode.
      while (probe_.Record().finishedPictures == 0) Sleep(1);
      const auto [result, failed] = WithNthAllocationFailing(n, [&] { return EncodePrepared(1); });
      if (!failed) {
        EXPECT_EQ(result, S_OK);
        ASSERT_EQ(StopEncoding(0), S_OK);
        Drain();
        break;
      }
      if (result != S_OK) {
        EXPECT_EQ(result, E_FAIL) << "allocation " << n << (async ? " async" : " sync");
        EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_UNKNOWN") << "allocation " << n;
      }
      const nvstandin::StandinRecord& record = probe_.Record();
      EXPECT_EQ(record.lockedBitstreams, 0) << "allocation " << n;
      if (!async) {
        // Every slot is free again: the next picture takes the first of each.
        ASSERT_EQ(EncodePrepared(2), S_OK);
        EXPECT_EQ(record.lastPictureInputIndex, 0u) << "allocation " << n;
        EXPECT_EQ(record.lastPictureBitstreamIndex, 0u) << "allocation " << n;
      }
      ASSERT_EQ(StopEncoding(0), S_OK);
      EXPECT_EQ(record.inFlightMisuses, 0u) << "allocation " << n << (async ? " async" : " sync");
      EXPECT_EQ(record.lostPictures, 0u) << "allocation " << n << (async ? " async" : " sync");
      // Busy slots would have been left to the encoder.
      EXPECT_EQ(record.liveInputBuffers, 0) << "allocation " << n;
      EXPECT_EQ(record.liveBitstreamBuffers, 0) << "allocation " << n;
      Drain();
    }
    // The task, the frame and its bytes at least.
    EXPECT_GT(n, 3) << (async ? "async" : "sync");
  }
}

TEST_F(OutOfMemory, StopReleasesEverythingWhateverAllocationFails) {
  nvstandin::NvidiaProbe::Configure("delay=20");
  long n = 1;
  for (;; ++n) {
    probe_.Reset();
    ASSERT_EQ(Start(kSize, kSize), S_OK);
    for (uint32_t i = 0; i < 3; ++i) ASSERT_EQ(EncodePrepared(i), S_OK);
    const auto [result, failed] = WithNthAllocationFailing(n, [] { return StopEncoding(0); });
    EXPECT_EQ(result, S_OK);
    const nvstandin::StandinRecord& record = probe_.Record();
    EXPECT_EQ(record.inFlightMisuses, 0u) << "allocation " << n;
    EXPECT_EQ(record.liveSessions, 0) << "allocation " << n;
    EXPECT_EQ(record.liveInputBuffers, 0) << "allocation " << n;
    EXPECT_EQ(record.liveBitstreamBuffers, 0) << "allocation " << n;
    EXPECT_EQ(record.liveEvents, 0) << "allocation " << n;
    Drain();
    if (!failed) break;
  }
  EXPECT_GT(n, 1);
}

}  // namespace
}  // namespace gpucodec_test
