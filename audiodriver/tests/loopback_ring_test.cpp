#include <atomic>
#include <numeric>
#include <thread>

#include "driver_test_support.h"
#include "loopback_ring.h"

// The loopback ring's append and take rules, and its teardown while other processors copy.
namespace {

std::vector<unsigned char> Sequence(size_t count, unsigned char from = 0) {
  std::vector<unsigned char> bytes(count);
  std::iota(bytes.begin(), bytes.end(), from);
  return bytes;
}

class LoopbackRingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    since_ = kstandin::AllocationSerial();
    bool made = false;
    ASSERT_EQ(ring_.Create(8820, &made), STATUS_SUCCESS);
    EXPECT_TRUE(made);
  }
  void TearDown() override {
    ring_.Destroy();
    EXPECT_TRUE(kstandin::OutstandingBlocks(since_).empty());
  }
  std::vector<unsigned char> TakeAll() {
    std::vector<unsigned char> out(ring_.Held());
    EXPECT_EQ(ring_.Take(out.data(), static_cast<ULONG>(out.size()), 1), out.size());
    return out;
  }

  uint64_t since_ = 0;
  LoopbackRing ring_;
};

TEST_F(LoopbackRingTest, AppendKeepsTheNewestBytes) {
  // 10 000 bytes at once: only the last 8820 stay, and everything held before goes.
  ring_.Append(Sequence(100).data(), 100, 1);
  const std::vector<unsigned char> big = Sequence(10000, 7);
  ring_.Append(big.data(), 10000, 1);
  EXPECT_EQ(ring_.Held(), 8820u);
  EXPECT_EQ(ring_.Dropped(), 100u + 1180u);
  EXPECT_EQ(TakeAll(), std::vector<unsigned char>(big.begin() + 1180, big.end()));

  // 5000 bytes onto 6000: the 2180 oldest go.
  const std::vector<unsigned char> first = Sequence(6000, 1);
  const std::vector<unsigned char> second = Sequence(5000, 99);
  ring_.Append(first.data(), 6000, 1);
  ring_.Append(second.data(), 5000, 1);
  EXPECT_EQ(ring_.Held(), 8820u);
  EXPECT_EQ(ring_.Dropped(), 1280u + 2180u);
  std::vector<unsigned char> expected(first.begin() + 2180, first.end());
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(TakeAll(), expected);

  // Exactly full, and a byte more.
  ring_.Append(Sequence(8820).data(), 8820, 1);
  EXPECT_EQ(ring_.Dropped(), 3460u);
  ring_.Append(Sequence(1, 200).data(), 1, 1);
  EXPECT_EQ(ring_.Dropped(), 3461u);
  EXPECT_EQ(TakeAll().front(), 1);
}

TEST_F(LoopbackRingTest, TakeDeliversWhatIsHeldOldestFirst) {
  const std::vector<unsigned char> held = Sequence(1000, 3);
  ring_.Append(held.data(), 1000, 1);
  // Taking 4000 from 1000 writes 1000 and leaves the rest of the destination alone.
  std::vector<unsigned char> out(4000, 0xEE);
  EXPECT_EQ(ring_.Take(out.data(), 4000, 1), 1000u);
  EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 1000), held);
  EXPECT_EQ(std::vector<unsigned char>(out.begin() + 1000, out.end()), std::vector<unsigned char>(3000, 0xEE));
  EXPECT_EQ(ring_.Held(), 0u);

  // A partial take moves the rest to the front, in order.
  ring_.Append(held.data(), 1000, 1);
  EXPECT_EQ(ring_.Take(out.data(), 300, 1), 300u);
  EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 300), std::vector<unsigned char>(held.begin(), held.begin() + 300));
  ring_.Append(held.data(), 10, 1);
  std::vector<unsigned char> expected(held.begin() + 300, held.end());
  expected.insert(expected.end(), held.begin(), held.begin() + 10);
  EXPECT_EQ(TakeAll(), expected);
  EXPECT_EQ(ring_.Dropped(), 0u);
}

// Frames of 4 bytes: takes round down to whole frames, and a change of frame size drops what
// was held of the old one rather than hand it out cut into other frames.
TEST_F(LoopbackRingTest, WholeFramesOnly) {
  const std::vector<unsigned char> frames = Sequence(400, 1);
  ring_.Append(frames.data(), 400, 4);
  std::vector<unsigned char> out(7, 0xEE);
  EXPECT_EQ(ring_.Take(out.data(), 7, 4), 4u);
  EXPECT_EQ(out, (std::vector<unsigned char>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(ring_.Take(out.data(), 3, 4), 0u);
  EXPECT_EQ(ring_.Held(), 396u);
  ring_.Append(frames.data(), 8, 2);
  EXPECT_EQ(ring_.Dropped(), 396u);
  EXPECT_EQ(ring_.Held(), 8u);
  EXPECT_EQ(ring_.Take(out.data(), 7, 4), 0u);
  EXPECT_EQ(ring_.Held(), 0u);
  EXPECT_EQ(ring_.Dropped(), 404u);
}

TEST_F(LoopbackRingTest, WithoutAStoreNothingMoves) {
  bool made = true;
  EXPECT_EQ(ring_.Create(100, &made), STATUS_SUCCESS);  // one exists: kept as it is
  EXPECT_FALSE(made);
  EXPECT_EQ(ring_.Capacity(), 8820u);
  ring_.Append(Sequence(10).data(), 10, 1);
  ring_.Destroy();
  EXPECT_FALSE(ring_.Exists());
  ring_.Append(Sequence(10).data(), 10, 1);
  std::vector<unsigned char> out(10, 0xEE);
  EXPECT_EQ(ring_.Take(out.data(), 10, 1), 0u);
  EXPECT_EQ(out, std::vector<unsigned char>(10, 0xEE));
  EXPECT_EQ(ring_.Held(), 0u);
  ring_.Destroy();  // twice is harmless

  kstandin::FailAllocationsTagged(kRingStorePoolTag);
  EXPECT_EQ(Hex(ring_.Create(8820, &made)), Hex(STATUS_INSUFFICIENT_RESOURCES));
  kstandin::ClearPoolFaults();
  EXPECT_FALSE(made);
  EXPECT_FALSE(ring_.Exists());
  ASSERT_EQ(ring_.Create(8820, &made), STATUS_SUCCESS);  // a new, empty ring
  EXPECT_EQ(ring_.Held(), 0u);
}

// One processor appends, another takes, while a third destroys and re-creates the ring as
// streams close and open: no copy may ever touch a freed store (the sanitizers watch).
TEST_F(LoopbackRingTest, TeardownWhileOtherProcessorsCopy) {
  std::atomic<bool> stop{false};
  const std::vector<unsigned char> chunk = Sequence(1764);
  const auto atDispatch = [](auto body) {
    return [body] {
      KIRQL old;
      KeRaiseIrql(DISPATCH_LEVEL, &old);
      body();
      KeLowerIrql(old);
    };
  };
  std::thread appender([&] {
    while (!stop) atDispatch([&] { ring_.Append(chunk.data(), 1764, 1); })();
  });
  std::thread taker([&] {
    std::vector<unsigned char> out(2000);
    while (!stop) atDispatch([&] { ring_.Take(out.data(), 2000, 1); })();
  });
  for (int round = 0; round < 300; ++round) {
    ring_.Destroy();
    bool made = false;
    ASSERT_EQ(ring_.Create(8820, &made), STATUS_SUCCESS);
  }
  stop = true;
  appender.join();
  taker.join();
}

}  // namespace
