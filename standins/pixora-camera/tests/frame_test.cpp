#include "device_fixture.h"
#include "fnv1a.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <thread>
#include <vector>

namespace pixora::test {
namespace {

using kernels::PixelType;

void ExpectHeader(const FrameHeader& actual, const FrameHeader& expected) {
  EXPECT_EQ(actual.format, expected.format);
  EXPECT_EQ(actual.width, expected.width);
  EXPECT_EQ(actual.height, expected.height);
  EXPECT_EQ(actual.stride, expected.stride);
}

TEST(Fnv1a64, MatchesTheReferenceVectors) {
  EXPECT_EQ(Fnv1a64("", 0), 0xcbf29ce484222325ull);
  EXPECT_EQ(Fnv1a64("a", 1), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Fnv1a64("foobar", 6), 0x85944171f73967e8ull);
}

TEST_F(CameraDeviceTest, AcceptedPacketsAreRecordedWhole) {
  const struct {
    const char* name;
    FrameHeader header;
    size_t pixelBytes;  // what the header announces
    size_t extra;       // bytes past it in the payload
  } cases[] = {
      {"RGB24 bottom-up", {PixelType::RGB24, 4, 2, 12}, 24, 0},
      {"RGB24 top-down padded", {PixelType::RGB24, 5, -3, 16}, 48, 0},
      {"RGB32", {PixelType::RGB32, 5, 3, 20}, 60, 0},
      {"YUY2", {PixelType::YUY2, 4, 2, 8}, 16, 0},
      {"NV12 odd height", {PixelType::NV12, 4, 3, 4}, 12 + 6, 0},
      {"NV12 720p", {PixelType::NV12, 1280, 720, 1280}, 1382400, 0},
      {"RGB32 1080p", {PixelType::RGB32, 1920, 1080, 7680}, 8294400, 0},
      {"longer than announced", {PixelType::RGB24, 2, 2, 8}, 16, 7},
  };
  uint8_t seed = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    probe_.Reset();
    const std::vector<uint8_t> packet = MakePacket(c.header, c.pixelBytes, c.extra, ++seed);
    ASSERT_EQ(SendPacket(packet), S_OK);

    EXPECT_EQ(probe_.FrameCount(), 1u);
    const auto records = probe_.LastFrames(1);
    ASSERT_EQ(records.size(), 1u);
    ExpectHeader(records[0].header, c.header);
    EXPECT_EQ(records[0].packetBytes, packet.size());
    EXPECT_EQ(records[0].pixelHash, Fnv1a64(packet.data() + 16, c.pixelBytes));
    EXPECT_EQ(records[0].sequence, 1u);
    const std::vector<uint8_t> expected(packet.begin(), packet.begin() + 16 + c.pixelBytes);
    EXPECT_TRUE(probe_.LastPacket() == expected);
    EXPECT_EQ(probe_.Settings().calls[PIXORA_PROP_FRAME].setAccepted, 1u);
  }
}

TEST_F(CameraDeviceTest, RefusedPacketsKeepNothing) {
  const struct {
    const char* name;
    FrameHeader header;
    size_t bytesAfterHeader;
  } cases[] = {
      {"pixels one byte short", {PixelType::RGB24, 4, 2, 12}, 23},
      {"NV12 chroma one byte short", {PixelType::NV12, 4, 3, 4}, 17},
      {"header only", {PixelType::RGB32, 1, 1, 4}, 0},
      {"pixel type 4", {PixelType{4}, 4, 2, 16}, 64},
      {"pixel type -1", {PixelType{-1}, 4, 2, 16}, 64},
      {"width 0", {PixelType::RGB32, 0, 2, 16}, 64},
      {"width negative", {PixelType::RGB32, -4, 2, 16}, 64},
      {"stride 0", {PixelType::RGB32, 4, 2, 0}, 64},
      {"stride negative", {PixelType::RGB32, 4, 2, -16}, 64},
      {"height 0", {PixelType::RGB32, 4, 0, 16}, 64},
      {"YUY2 negative height", {PixelType::YUY2, 4, -2, 8}, 64},
      {"NV12 negative height", {PixelType::NV12, 4, -2, 4}, 64},
      {"RGB24 stride below 3 x width", {PixelType::RGB24, 4, 2, 11}, 64},
      {"RGB32 stride below 4 x width", {PixelType::RGB32, 4, 2, 15}, 64},
      {"YUY2 stride below 2 x width", {PixelType::YUY2, 4, 2, 7}, 64},
      {"NV12 stride below width", {PixelType::NV12, 4, 2, 3}, 64},
      {"size overflowing 32 bits", {PixelType::RGB24, 1, INT_MAX, INT_MAX}, 64},
      {"INT_MIN height", {PixelType::RGB24, 1, INT_MIN, 4}, 64},
  };
  const std::vector<uint8_t> good = MakePacket({PixelType::RGB32, 2, 2, 8}, 16);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    probe_.Reset();
    ASSERT_EQ(SendPacket(good), S_OK);
    const FrameRecord before = probe_.LastFrames(1).at(0);

    EXPECT_EQ(SendPacket(MakePacket(c.header, c.bytesAfterHeader)), E_INVALIDARG);
    EXPECT_EQ(probe_.FrameCount(), 1u);
    EXPECT_EQ(std::memcmp(&probe_.LastFrames(1).at(0), &before, sizeof(before)), 0);
    EXPECT_TRUE(probe_.LastPacket() == good);
    EXPECT_EQ(probe_.Settings().calls[PIXORA_PROP_FRAME].setRefused, 1u);
  }
}

TEST_F(CameraDeviceTest, TooShortForAHeaderIsRefused) {
  const std::vector<uint8_t> good = MakePacket({PixelType::RGB32, 2, 2, 8}, 16);
  EXPECT_EQ(Set(PIXORA_PROP_FRAME, good.data(), 15), E_INVALIDARG);
  EXPECT_EQ(Set(PIXORA_PROP_FRAME, nullptr, static_cast<ULONG>(good.size())), E_INVALIDARG);
  EXPECT_EQ(probe_.FrameCount(), 0u);
  EXPECT_TRUE(probe_.LastPacket().empty());
}

TEST_F(CameraDeviceTest, RingKeepsTheLast64FramesOldestFirst) {
  for (int32_t width = 1; width <= 70; ++width) {
    ASSERT_EQ(SendPacket(MakePacket({PixelType::RGB32, width, 1, 4 * width}, 4 * width)), S_OK);
  }
  EXPECT_EQ(probe_.FrameCount(), 70u);
  const auto all = probe_.LastFrames(1000);
  ASSERT_EQ(all.size(), 64u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].sequence, 7 + i);
    EXPECT_EQ(all[i].header.width, static_cast<int32_t>(7 + i));
  }
  const auto last = probe_.LastFrames(2);
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[0].sequence, 69u);
  EXPECT_EQ(last[1].sequence, 70u);
}

// Each thread's packets carry its index in the width and the frame's index in the height,
// so every recorded hash can be checked against the pixels that header must have had.
TEST_F(CameraDeviceTest, ConcurrentCallsRecordConsistently) {
  constexpr int kThreads = 4, kFrames = 40, kMirrorSets = 200;
  const auto packetOf = [](int thread, int frame) {
    const FrameHeader header{PixelType::RGB32, 256 + thread, 64 + frame, 4 * (256 + thread)};
    return MakePacket(header, static_cast<size_t>(header.stride) * header.height, 0,
                      static_cast<uint8_t>(thread * kFrames + frame));
  };
  std::vector<std::vector<std::vector<uint8_t>>> packets(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    for (int f = 0; f < kFrames; ++f) packets[t].push_back(packetOf(t, f));
  }
  std::atomic<int> waiting{kThreads + 1};
  const auto startTogether = [&] {
    --waiting;
    while (waiting.load() > 0) std::this_thread::yield();
  };
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads + 1, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      startTogether();
      for (const auto& packet : packets[t]) failures[t] += SendPacket(packet) != S_OK;
    });
  }
  threads.emplace_back([&] {
    startTogether();
    for (int i = 0; i < kMirrorSets; ++i) {
      const int32_t on = i & 1;
      failures[kThreads] += Set(PIXORA_PROP_MIRROR, &on, sizeof(on)) != S_OK;
    }
  });
  for (auto& thread : threads) thread.join();
  for (int f : failures) EXPECT_EQ(f, 0);

  EXPECT_EQ(probe_.FrameCount(), static_cast<uint64_t>(kThreads * kFrames));
  const CameraSettings settings = probe_.Settings();
  EXPECT_EQ(settings.calls[PIXORA_PROP_FRAME].setAccepted, static_cast<uint32_t>(kThreads * kFrames));
  EXPECT_EQ(settings.calls[PIXORA_PROP_MIRROR].setAccepted, static_cast<uint32_t>(kMirrorSets));
  EXPECT_EQ(settings.mirror, (kMirrorSets - 1) & 1);

  const auto records = probe_.LastFrames(64);
  ASSERT_EQ(records.size(), 64u);
  for (size_t i = 0; i < records.size(); ++i) {
    const FrameRecord& record = records[i];
    EXPECT_EQ(record.sequence, kThreads * kFrames - 63 + i);
    const auto expected = packetOf(record.header.width - 256, record.header.height - 64);
    EXPECT_EQ(record.packetBytes, expected.size());
    EXPECT_EQ(record.pixelHash, Fnv1a64(expected.data() + 16, expected.size() - 16));
  }
  const auto lastPacket = probe_.LastPacket();
  ASSERT_GE(lastPacket.size(), 16u);
  EXPECT_EQ(Fnv1a64(lastPacket.data() + 16, lastPacket.size() - 16), records.back().pixelHash);
  EXPECT_EQ(std::memcmp(lastPacket.data(), &records.back().header, 16), 0);
}

}  // namespace
}  // namespace pixora::test
