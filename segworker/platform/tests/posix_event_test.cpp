#include "named_objects.h"
#include "posix/host_objects.h"
#include "posix_support.h"

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <thread>

namespace {

using namespace mivra::foreground_detection::platform;
using posix::EventReset;
using posix::ObjectName;
using namespace std::chrono_literals;

// Host-created events under fresh names, with the worker-side opening of each.
class EventSet {
 public:
  explicit EventSet(std::initializer_list<EventReset> resets) {
    for (EventReset reset : resets) {
      names_.push_back(std::make_unique<ObjectName>(segtest::uniqueName("event")));
      host_.push_back(posix::createEvent(names_.back()->str(), reset));
      opened_.push_back(openEvent(names_.back()->c_str(), EventAccess::waitAndModify));
    }
    for (Event& event : opened_) pointers_.push_back(&event);
  }

  Event& host(std::size_t i) { return host_[i]; }
  const ObjectName& name(std::size_t i) const { return *names_[i]; }
  std::span<Event* const> opened() const { return pointers_; }
  std::vector<std::uint32_t> states() const {
    std::vector<std::uint32_t> states;
    for (const auto& name : names_) states.push_back(segtest::rawState(name->str()));
    return states;
  }

 private:
  std::vector<std::unique_ptr<ObjectName>> names_;
  std::vector<Event> host_;
  std::vector<Event> opened_;
  std::vector<Event*> pointers_;
};

constexpr EventReset kAuto = EventReset::automatic;
constexpr EventReset kManual = EventReset::manual;

TEST(EventWait, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
  const struct {
    std::initializer_list<EventReset> resets;
    std::vector<std::size_t> signalled;
    std::size_t winner;
    std::vector<std::uint32_t> statesAfter;
  } cases[] = {
      {{kAuto, kAuto}, {0, 1}, 0, {0, 1}},
      {{kAuto, kAuto, kAuto}, {1, 2}, 1, {0, 0, 1}},
      {{kManual, kAuto}, {0, 1}, 0, {1, 1}},
      {{kAuto, kManual, kAuto}, {2}, 2, {0, 0, 0}},
      {{kAuto, kManual, kAuto}, {1, 2}, 1, {0, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "winner " << c.winner);
    EventSet events(c.resets);
    for (std::size_t i : c.signalled) events.host(i).set();
    EXPECT_EQ(waitForAny(events.opened()), c.winner);
    EXPECT_EQ(events.states(), c.statesAfter);
  }
}

TEST(EventWait, ManualResetStaysSignalledUntilReset) {
  EventSet events({kManual, kAuto});
  Event* const manualFirst[] = {events.opened()[0], events.opened()[1]};
  events.host(0).set();
  EXPECT_EQ(waitForAny(manualFirst), 0u);
  EXPECT_EQ(waitForAny(manualFirst), 0u);
  events.opened()[0]->reset();
  events.host(1).set();
  EXPECT_EQ(waitForAny(manualFirst), 1u);
  EXPECT_EQ(events.states(), (std::vector<std::uint32_t>{0, 0}));
}

TEST(EventWait, FailsWithoutWaitingOnWhatCannotBeWaitedOn) {
  EventSet events({kManual});
  events.host(0).set();
  Event empty;
  Event* const withEmpty[] = {events.opened()[0], &empty};
  Event* const withNull[] = {events.opened()[0], nullptr};
  const std::vector<Event*> atLimit(128, events.opened()[0]);
  const std::vector<Event*> overLimit(129, events.opened()[0]);

  EXPECT_EQ(waitForAny({}), std::nullopt);
  EXPECT_EQ(waitForAny(withEmpty), std::nullopt);
  EXPECT_EQ(waitForAny(withNull), std::nullopt);
  EXPECT_EQ(waitForAny(overLimit), std::nullopt);
  EXPECT_EQ(waitForAny(atLimit), 0u);
}

// Makes futex_waitv fail with `error` in this process from now on.
bool failFutexWaitv(int error) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, segtest::kFutexWaitv, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (error & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST(EventWait, AFailingWaitCallIsTheFailedResultNotASpin) {
  // ENOSYS is what a kernel before 5.16 answers.
  for (int error : {ENOSYS, EINVAL, EFAULT, EPERM}) {
    SCOPED_TRACE(testing::Message() << "errno " << error);
    EventSet events({kManual, kAuto});
    segtest::Child child([&] {
      if (!failFutexWaitv(error)) return 3;
      return waitForAny(events.opened()) == std::nullopt ? 0 : 1;
    });
    EXPECT_EQ(child.exitCode(), 0);
  }
}

// The pair the worker waits on, in its order.
struct StopAndFrame : EventSet {
  StopAndFrame() : EventSet({kManual, kAuto}) {}
  Event& stop() { return host(0); }
  Event& frame() { return host(1); }
};

TEST(EventWait, WaiterInAnotherProcessSleepsInTheKernelUntilSet) {
  StopAndFrame events;
  segtest::Child child([&] {
    Event stop = openEvent(events.name(0).c_str(), EventAccess::wait);
    Event frame = openEvent(events.name(1).c_str(), EventAccess::waitAndModify);
    Event* const pair[] = {&stop, &frame};
    const auto woken = waitForAny(pair);
    return woken ? static_cast<int>(*woken) : 100;
  });
  ASSERT_TRUE(segtest::eventually(
      [&] { return segtest::blockedSyscall(child.procPath()) == segtest::kFutexWaitv; }));
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(child.running());
  EXPECT_EQ(segtest::blockedSyscall(child.procPath()), segtest::kFutexWaitv);

  events.frame().set();
  EXPECT_EQ(child.exitCode(), 1);
  EXPECT_EQ(events.states(), (std::vector<std::uint32_t>{0, 0}));
}

TEST(EventWait, StopWinsOverAFrameSetAtTheSameTime) {
  StopAndFrame events;
  events.frame().set();
  events.stop().set();
  segtest::Child child([&] {
    const auto woken = waitForAny(events.opened());
    return woken ? static_cast<int>(*woken) : 100;
  });
  EXPECT_EQ(child.exitCode(), 0);
  EXPECT_EQ(events.states(), (std::vector<std::uint32_t>{1, 1}));
}

// Two waiters on (auto-reset frame, manual stop); one Set of the frame must release exactly
// one of them, and only the stop releases the other.
template <typename StartWaiter, typename Blocked, typename Results>
void expectOneConsumer(StopAndFrame& events, StartWaiter start, Blocked blocked,
                       Results results) {
  start(0);
  start(1);
  ASSERT_TRUE(segtest::eventually([&] { return blocked(0) && blocked(1); }));
  events.frame().set();
  ASSERT_TRUE(segtest::eventually([&] { return !blocked(0) || !blocked(1); }));
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(blocked(0) != blocked(1));
  events.stop().set();
  std::array<int, 2> got = results();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::array<int, 2>{0, 1}));
  EXPECT_EQ(segtest::rawState(events.name(1).str()), 0u);
}

// Frame and stop are swapped in these waits so that the stop cannot win before the frame.
std::span<Event* const> frameFirst(StopAndFrame& events, std::array<Event*, 2>& storage) {
  storage = {events.opened()[1], events.opened()[0]};
  return storage;
}

TEST(EventWait, AutoResetIsConsumedByExactlyOneOfTwoThreads) {
  StopAndFrame events;
  std::array<Event*, 2> order{};
  const auto pair = frameFirst(events, order);
  std::array<std::atomic<int>, 2> result{-1, -1};
  std::array<std::atomic<pid_t>, 2> tid{0, 0};
  std::array<std::thread, 2> threads;
  expectOneConsumer(
      events,
      [&](int i) {
        threads[i] = std::thread([&, i] {
          tid[i] = gettid();
          const auto woken = waitForAny(pair);
          result[i] = woken ? static_cast<int>(*woken) : 100;
        });
      },
      [&](int i) {
        return result[i] == -1 && tid[i] != 0 &&
               segtest::blockedSyscall("/proc/self/task/" + std::to_string(tid[i])) ==
                   segtest::kFutexWaitv;
      },
      [&] {
        for (auto& thread : threads) thread.join();
        return std::array<int, 2>{result[0], result[1]};
      });
}

TEST(EventWait, AutoResetIsConsumedByExactlyOneOfTwoProcesses) {
  StopAndFrame events;
  std::array<std::unique_ptr<segtest::Child>, 2> children;
  expectOneConsumer(
      events,
      [&](int i) {
        children[i] = std::make_unique<segtest::Child>([&] {
          Event stop = openEvent(events.name(0).c_str(), EventAccess::wait);
          Event frame = openEvent(events.name(1).c_str(), EventAccess::waitAndModify);
          Event* const pair[] = {&frame, &stop};
          const auto woken = waitForAny(pair);
          return woken ? static_cast<int>(*woken) : 100;
        });
      },
      [&](int i) {
        return children[i]->running() &&
               segtest::blockedSyscall(children[i]->procPath()) == segtest::kFutexWaitv;
      },
      [&] {
        return std::array<int, 2>{children[0]->exitCode().value_or(-2),
                                  children[1]->exitCode().value_or(-2)};
      });
}

TEST(EventWait, AutoResetRacesNeverHandOneSetToTwoWaiters) {
  // Sets land at every point of the waiters' scan-and-sleep, not only while they sleep.
  for (int round = 0; round < 200; ++round) {
    StopAndFrame events;
    std::array<Event*, 2> order{};
    const auto pair = frameFirst(events, order);
    std::atomic<int> frames{0};
    auto waiter = [&] {
      if (waitForAny(pair) == 0u) ++frames;
    };
    std::thread first(waiter);
    std::thread second(waiter);
    events.frame().set();
    ASSERT_TRUE(segtest::eventually([&] { return frames > 0; }));
    events.stop().set();
    first.join();
    second.join();
    ASSERT_EQ(frames, 1) << "round " << round;
  }
}

}  // namespace
