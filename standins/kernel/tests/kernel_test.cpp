#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "kernel_standin/clock.h"
#include "kernel_standin/pool.h"
#include "kernel_surface.h"

// The kernel half of the stand-in: the tagged pool, spin locks, mutexes, IRQL rules, the
// clock, timers and DPCs.
namespace {

constexpr ULONG kTag = PoolTagFromText("Test");
constexpr ULONGLONG kMillisecond = 10000;

class KernelDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST(Pool, TracksBlocksByTagAndFailsOnRequest) {
  const uint64_t since = kstandin::AllocationSerial();
  void* a = ExAllocatePoolWithTag(NonPagedPoolNx, 24, kTag);
  void* b = ExAllocatePoolWithTag(PagedPool, 0, PoolTagFromText("Othr"));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(a)[23], 0xA5);  // never zeroed for the driver
  auto blocks = kstandin::OutstandingBlocks(since);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(kstandin::TagText(blocks[0].tag), "Test");
  EXPECT_EQ(blocks[0].size, 24u);
  EXPECT_EQ(blocks[1].type, PagedPool);
  EXPECT_NE(kstandin::DescribeBlocks(blocks).find("\"Othr\" of 0 bytes"), std::string::npos);

  kstandin::FailNthAllocation(2);
  void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
  EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag), nullptr);
  void* third = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(third, nullptr);

  kstandin::FailAllocationsTagged(kTag);
  EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag), nullptr);
  EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag), nullptr);
  void* other = ExAllocatePoolWithTag(NonPagedPoolNx, 8, PoolTagFromText("Othr"));
  EXPECT_NE(other, nullptr);
  kstandin::ClearPoolFaults();

  for (void* block : {a, first, third}) ExFreePoolWithTag(block, kTag);
  for (void* block : {b, other}) ExFreePoolWithTag(block, PoolTagFromText("Othr"));
  EXPECT_TRUE(kstandin::OutstandingBlocks(since).empty());
}

// Hooks put another caller's work between two steps: at the nth allocation from now, before
// it is made, and at the free of one block, before it is freed; each once, and free to use
// the pool themselves.
TEST(Pool, HooksRunOnceInBetween) {
  const ULONG kTag = PoolTagFromText("Hook");
  std::vector<std::string> steps;
  void* inner = nullptr;
  kstandin::OnNthAllocation(2, [&] {
    steps.push_back("allocation hook");
    inner = ExAllocatePoolWithTag(NonPagedPoolNx, 4, kTag);
  });
  void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
  steps.push_back("first");
  void* second = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
  steps.push_back("second");
  void* third = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
  EXPECT_EQ(steps, (std::vector<std::string>{"first", "allocation hook", "second"}));
  ASSERT_NE(inner, nullptr);

  kstandin::OnFreeOf(second, [&] {
    EXPECT_TRUE(kstandin::IsLiveBlock(second));
    ExFreePoolWithTag(inner, kTag);
    steps.push_back("free hook");
  });
  ExFreePoolWithTag(first, kTag);
  ExFreePoolWithTag(second, kTag);
  EXPECT_FALSE(kstandin::IsLiveBlock(inner));
  ExFreePoolWithTag(third, kTag);
  EXPECT_EQ(steps.back(), "free hook");
  EXPECT_EQ(steps.size(), 4u);
}

TEST_F(KernelDeathTest, PoolMisuseStopsTheMachine) {
  EXPECT_DEATH(
      {
        void* block = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
        ExFreePoolWithTag(block, PoolTagFromText("Othr"));
      },
      "STOP: 0x000000C2.*another tag");
  EXPECT_DEATH(
      {
        void* block = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
        ExFreePoolWithTag(block, kTag);
        ExFreePoolWithTag(block, kTag);
      },
      "STOP: 0x000000C2.*not allocated");
  EXPECT_DEATH(
      {
        KSPIN_LOCK lock;
        KeInitializeSpinLock(&lock);
        KIRQL old = KeAcquireSpinLockRaiseToDpc(&lock);
        ExAllocatePoolWithTag(PagedPool, 8, kTag);
        KeReleaseSpinLock(&lock, old);
      },
      "STOP: 0x0000000A.*ExAllocatePoolWithTag");
}

TEST(SpinLock, RaisesToDispatchAndRestores) {
  KSPIN_LOCK lock;
  KeInitializeSpinLock(&lock);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
  KLOCK_QUEUE_HANDLE handle;
  KeAcquireInStackQueuedSpinLock(&lock, &handle);
  EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
  KeReleaseInStackQueuedSpinLock(&handle);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
  const KIRQL old = KeAcquireSpinLockRaiseToDpc(&lock);
  EXPECT_EQ(old, PASSIVE_LEVEL);
  KeReleaseSpinLock(&lock, old);
  EXPECT_EQ(lock, 0u);
}

TEST(SpinLock, ExcludesOtherProcessors) {
  KSPIN_LOCK lock;
  KeInitializeSpinLock(&lock);
  long counter = 0;  // guarded by the lock alone
  const auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      KLOCK_QUEUE_HANDLE handle;
      KeAcquireInStackQueuedSpinLock(&lock, &handle);
      counter = counter + 1;
      KeReleaseInStackQueuedSpinLock(&handle);
    }
  };
  std::thread other(work);
  work();
  other.join();
  EXPECT_EQ(counter, 40000);
}

TEST_F(KernelDeathTest, LockMisuseStopsTheMachine) {
  EXPECT_DEATH(
      {
        KSPIN_LOCK lock;
        KeInitializeSpinLock(&lock);
        KLOCK_QUEUE_HANDLE first;
        KLOCK_QUEUE_HANDLE second;
        KeAcquireInStackQueuedSpinLock(&lock, &first);
        KeAcquireInStackQueuedSpinLock(&lock, &second);
      },
      "STOP: 0x0000000F");
  EXPECT_DEATH(
      {
        KSPIN_LOCK lock;
        KeInitializeSpinLock(&lock);
        KeReleaseSpinLockFromDpcLevel(&lock);
      },
      "STOP: 0x00000009");
  // A wait at DISPATCH_LEVEL, as a mutex taken under a spin lock would be.
  EXPECT_DEATH(
      {
        KMUTEX mutex;
        KeInitializeMutex(&mutex, 1);
        KSPIN_LOCK lock;
        KeInitializeSpinLock(&lock);
        KLOCK_QUEUE_HANDLE handle;
        KeAcquireInStackQueuedSpinLock(&lock, &handle);
        KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
      },
      "STOP: 0x0000000A.*KeWaitForSingleObject called at IRQL 2");
  EXPECT_DEATH(
      {
        KMUTEX mutex;
        KeInitializeMutex(&mutex, 1);
        KeReleaseMutex(&mutex, FALSE);
      },
      "STOP: 0x00000011");
  EXPECT_DEATH(
      {
        KMUTEX mutex{};
        KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
      },
      "STOP: 0x00000013");
}

TEST(Mutex, RecursiveForItsOwnerExclusiveForOthers) {
  KMUTEX mutex;
  KeInitializeMutex(&mutex, 1);
  ASSERT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
  ASSERT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
  NTSTATUS elsewhere = STATUS_SUCCESS;
  std::thread([&] {
    LARGE_INTEGER now{};
    elsewhere = KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, &now);
  }).join();
  EXPECT_EQ(elsewhere, STATUS_TIMEOUT);
  KeReleaseMutex(&mutex, FALSE);
  KeReleaseMutex(&mutex, FALSE);

  long counter = 0;
  const auto work = [&] {
    for (int i = 0; i < 5000; ++i) {
      KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
      counter = counter + 1;
      KeReleaseMutex(&mutex, FALSE);
    }
  };
  std::thread other(work);
  work();
  other.join();
  EXPECT_EQ(counter, 10000);
}

struct DpcLog {
  std::vector<ULONGLONG> times;
  std::vector<KIRQL> irqls;
  static void Routine(PKDPC, PVOID context, PVOID, PVOID) {
    auto* log = static_cast<DpcLog*>(context);
    log->times.push_back(KeQueryInterruptTime());
    log->irqls.push_back(KeGetCurrentIrql());
  }
};

class Timers : public ::testing::Test {
 protected:
  void SetUp() override { kstandin::UseHandClock(1000 * kMillisecond); }
  void TearDown() override { kstandin::UseRealClock(); }
};

TEST_F(Timers, HandClockFiresPeriodicTimersAtEachDueTime) {
  EXPECT_EQ(KeQueryInterruptTime(), 1000 * kMillisecond);
  KTIMER timer;
  KDPC dpc;
  DpcLog log;
  KeInitializeTimerEx(&timer, NotificationTimer);
  KeInitializeDpc(&dpc, DpcLog::Routine, &log);
  LARGE_INTEGER due;
  due.QuadPart = -10 * static_cast<LONGLONG>(kMillisecond);
  EXPECT_EQ(KeSetTimerEx(&timer, due, 10, &dpc), FALSE);
  kstandin::AdvanceClock(1000 * kMillisecond - 1);
  ASSERT_EQ(log.times.size(), 99u);
  for (size_t i = 0; i < log.times.size(); ++i) {
    EXPECT_EQ(log.times[i], (1010 + 10 * i) * kMillisecond) << i;
    EXPECT_EQ(log.irqls[i], DISPATCH_LEVEL);
  }
  kstandin::AdvanceClock(1);
  EXPECT_EQ(log.times.size(), 100u);
  EXPECT_EQ(KeCancelTimer(&timer), TRUE);
  EXPECT_EQ(KeCancelTimer(&timer), FALSE);
  kstandin::AdvanceClock(100 * kMillisecond);
  EXPECT_EQ(log.times.size(), 100u);
}

// A positive due time is absolute system time; one in the past expires at once.
TEST_F(Timers, AbsoluteDueTimeInThePastExpiresAtOnce) {
  KTIMER timer;
  KDPC dpc;
  DpcLog log;
  KeInitializeTimerEx(&timer, NotificationTimer);
  KeInitializeDpc(&dpc, DpcLog::Routine, &log);
  LARGE_INTEGER due;
  due.QuadPart = 10;
  KeSetTimerEx(&timer, due, 0, &dpc);
  kstandin::AdvanceClock(0);
  ASSERT_EQ(log.times.size(), 1u);
  EXPECT_EQ(log.times[0], 1000 * kMillisecond);
  EXPECT_EQ(KeCancelTimer(&timer), FALSE);  // a one-shot timer is gone once it fired
}

TEST_F(Timers, QueuedDpcsRunOnceAndCanBeFlushed) {
  KDPC dpc;
  DpcLog log;
  KeInitializeDpc(&dpc, DpcLog::Routine, &log);
  KeInsertQueueDpc(&dpc, nullptr, nullptr);
  KeFlushQueuedDpcs();
  EXPECT_EQ(log.times.size(), 1u);
  EXPECT_EQ(KeRemoveQueueDpc(&dpc), FALSE);
}

TEST(RealClock, TimersFireOnTheirOwn) {
  kstandin::UseRealClock();
  const ULONGLONG start = KeQueryInterruptTime();
  KTIMER timer;
  KDPC dpc;
  std::atomic<int> fired{0};
  KeInitializeTimerEx(&timer, NotificationTimer);
  KeInitializeDpc(
      &dpc, [](PKDPC, PVOID context, PVOID, PVOID) { static_cast<std::atomic<int>*>(context)->fetch_add(1); }, &fired);
  LARGE_INTEGER due;
  due.QuadPart = -2 * static_cast<LONGLONG>(kMillisecond);
  KeSetTimerEx(&timer, due, 2, &dpc);
  // Bounded only against a hang: a loaded machine may take far longer than 6 ms.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (fired.load() < 3 && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  KeCancelTimer(&timer);
  KeFlushQueuedDpcs();
  EXPECT_GE(fired.load(), 3);
  EXPECT_GE(KeQueryInterruptTime() - start, 6 * kMillisecond);
}

TEST_F(KernelDeathTest, FreeingASetTimerStopsTheMachine) {
  EXPECT_DEATH(
      {
        kstandin::UseHandClock(0);
        auto* timer = static_cast<KTIMER*>(ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(KTIMER), kTag));
        KeInitializeTimerEx(timer, NotificationTimer);
        LARGE_INTEGER due;
        due.QuadPart = -1000000;
        KeSetTimerEx(timer, due, 0, nullptr);
        ExFreePoolWithTag(timer, kTag);
      },
      "STOP: 0x000000C7.*timer still set");
  EXPECT_DEATH(
      {
        auto* timer = static_cast<KTIMER*>(ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(KTIMER), kTag));
        LARGE_INTEGER due{};
        KeSetTimerEx(timer, due, 0, nullptr);
      },
      "STOP: 0x000000C7.*before KeInitializeTimerEx");
  // Waiting inside a DPC.
  EXPECT_DEATH(
      {
        KDPC dpc;
        KeInitializeDpc(
            &dpc, [](PKDPC, PVOID, PVOID, PVOID) { KeFlushQueuedDpcs(); }, nullptr);
        KeInsertQueueDpc(&dpc, nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::seconds(60));  // the DPC stops the machine first
      },
      "STOP: 0x0000000A.*KeFlushQueuedDpcs called at IRQL 2");
}

}  // namespace
