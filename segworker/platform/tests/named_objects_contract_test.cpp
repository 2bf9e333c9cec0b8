#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <thread>
#include <vector>

#include "host_side.h"
#include "named_objects.h"

// The named-object contract the worker relies on, written once: natively against the POSIX
// objects, under Wine against Win32 objects, each made by its platform's host side
// (host_side.h), with the peer program as the other process.
namespace mivra::foreground_detection::platform::test {
namespace {

using namespace std::chrono_literals;

// Polls from the test's side only, with a generous bound.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds bound = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

TEST(NamedObjects, OpenOnlyExistingObjectsOfTheirKind) {
  const HostEvent event(true);
  const HostSection section(4096);
  EXPECT_TRUE(openEvent(event.name().c_str(), EventAccess::waitAndModify));
  EXPECT_TRUE(openSection(section.name().c_str(), SectionAccess::read));
  EXPECT_FALSE(openEvent(section.name().c_str(), EventAccess::waitAndModify))
      << "a section is no event";
  const std::string missing = uniqueName("missing");
  EXPECT_FALSE(openEvent(missing.c_str(), EventAccess::wait));
  EXPECT_FALSE(openSection(missing.c_str(), SectionAccess::read));
  EXPECT_FALSE(openEvent("", EventAccess::wait));
  EXPECT_FALSE(openSection("", SectionAccess::read));
}

TEST(NamedObjects, MapViewsOnlyWithinTheSectionAndItsAccess) {
  struct Case {
    std::size_t sectionBytes;
    SectionAccess opened;
    bool write;
    std::size_t length;
    bool maps;
  };
  const Case cases[] = {
      {0x24000, SectionAccess::read, false, 0x24000, true},
      {0x24000 - kShortBy, SectionAccess::read, false, 0x24000, false},
      {0x9000, SectionAccess::write, true, 0x9000, true},
      {0x9000 - kShortBy, SectionAccess::write, true, 0x9000, false},
      {0x9000, SectionAccess::write, true, 100, true},
      {0x9000, SectionAccess::read, true, 0x9000, false},
      {0x9000, SectionAccess::read, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "section " << c.sectionBytes << ", view " << c.length
                                      << (c.write ? " write" : " read") << " of a section opened "
                                      << (c.opened == SectionAccess::read ? "read" : "write"));
    HostSection host(c.sectionBytes);
    const Section section = openSection(host.name().c_str(), c.opened);
    ASSERT_TRUE(section);
    const bool mapped = c.write ? static_cast<bool>(mapWriteView(section, c.length))
                                : static_cast<bool>(mapReadView(section, c.length));
    EXPECT_EQ(mapped, c.maps);
  }
}

TEST(NamedObjects, ViewsOutliveTheirSectionAndShareItsBytes) {
  HostSection host(4096);
  WriteView view;
  {
    const Section section = openSection(host.name().c_str(), SectionAccess::write);
    view = mapWriteView(section, 4096);
  }
  ASSERT_TRUE(view);
  for (std::size_t i = 0; i < 4096; ++i) view.data()[i] = std::byte(i * 31 + 3);
  const Section again = openSection(host.name().c_str(), SectionAccess::read);
  const ReadView read = mapReadView(again, 4096);
  ASSERT_TRUE(read);
  for (std::size_t i = 0; i < 4096; ++i) {
    ASSERT_EQ(read.data()[i], std::byte(i * 31 + 3)) << i;
    ASSERT_EQ(host.bytes()[i], uint8_t(i * 31 + 3)) << i;
  }
}

// Host events of the given kinds (true: manual reset) and the worker's openings of them.
class OpenedEvents {
 public:
  explicit OpenedEvents(std::initializer_list<bool> manual) {
    for (bool m : manual) {
      host_.emplace_back(m);
      opened_.push_back(openEvent(host_.back().name().c_str(), EventAccess::waitAndModify));
    }
    for (Event& event : opened_) pointers_.push_back(&event);
  }
  HostEvent& host(std::size_t i) { return host_[i]; }
  std::span<Event* const> opened() const { return pointers_; }
  std::vector<bool> signalled() const {
    std::vector<bool> states;
    for (const HostEvent& event : host_) states.push_back(event.signalled());
    return states;
  }

 private:
  std::deque<HostEvent> host_;
  std::vector<Event> opened_;
  std::vector<Event*> pointers_;
};

TEST(EventWait, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
  const struct {
    std::initializer_list<bool> manual;
    std::vector<std::size_t> signalled;
    std::size_t winner;
    std::vector<bool> signalledAfter;
  } cases[] = {
      {{false, false}, {0, 1}, 0, {false, true}},
      {{false, false, false}, {1, 2}, 1, {false, false, true}},
      {{true, false}, {0, 1}, 0, {true, true}},
      {{false, true, false}, {2}, 2, {false, false, false}},
      {{false, true, false}, {1, 2}, 1, {false, true, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "winner " << c.winner);
    OpenedEvents events(c.manual);
    for (std::size_t i : c.signalled) events.host(i).set();
    EXPECT_EQ(waitForAny(events.opened()), c.winner);
    EXPECT_EQ(events.signalled(), c.signalledAfter);
  }
}

TEST(EventWait, ManualResetStaysSignalledUntilResetAndSetsReachTheHost) {
  OpenedEvents events({true, false});
  events.opened()[0]->set();
  EXPECT_EQ(waitForAny(events.opened()), 0u);
  EXPECT_EQ(waitForAny(events.opened()), 0u);
  events.opened()[0]->reset();
  events.opened()[1]->set();
  EXPECT_EQ(waitForAny(events.opened()), 1u);
  EXPECT_EQ(events.signalled(), (std::vector<bool>{false, false}));
}

TEST(EventWait, FailsWithoutWaitingOnWhatCannotBeWaitedOn) {
  // As many distinct events as one wait takes (Windows refuses a handle twice), the first set.
  std::deque<HostEvent> hosts;
  std::vector<Event> opened;
  for (std::size_t i = 0; i <= kMaxWaitEvents; ++i) {
    hosts.emplace_back(true);
    opened.push_back(openEvent(hosts.back().name().c_str(), EventAccess::waitAndModify));
  }
  hosts[0].set();
  std::vector<Event*> all;
  for (Event& event : opened) all.push_back(&event);
  const std::span<Event* const> atLimit(all.data(), kMaxWaitEvents);
  Event empty;
  Event* const withEmpty[] = {all[0], &empty};
  Event* const withNull[] = {all[0], nullptr};

  EXPECT_EQ(waitForAny({}), std::nullopt);
  EXPECT_EQ(waitForAny(withEmpty), std::nullopt);
  EXPECT_EQ(waitForAny(withNull), std::nullopt);
  EXPECT_EQ(waitForAny(all), std::nullopt) << "one over the limit";
  EXPECT_EQ(waitForAny(atLimit), 0u);
}

// Two waiters on (auto-reset frame, manual stop): one set of the frame releases exactly one
// of them, and only the stop releases the other. The frame comes first in their waits, so
// the stop cannot win before it.
TEST(EventWait, AutoResetIsConsumedByExactlyOneOfTwoThreads) {
  OpenedEvents events({false, true});
  std::array<std::atomic<int>, 2> result{-1, -1};
  std::array<std::atomic<uint64_t>, 2> thread{0, 0};
  std::array<std::thread, 2> threads;
  for (int i = 0; i < 2; ++i) {
    threads[i] = std::thread([&, i] {
      thread[i] = currentThreadId();
      const auto woken = waitForAny(events.opened());
      result[i] = woken ? static_cast<int>(*woken) : 100;
    });
  }
  const auto blocked = [&](int i) {
    return result[i] == -1 && thread[i] != 0 && threadBlockedInWait(thread[i]);
  };
  ASSERT_TRUE(eventually([&] { return blocked(0) && blocked(1); }));
  events.host(0).set();
  ASSERT_TRUE(eventually([&] { return result[0] != -1 || result[1] != -1; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE((result[0] == -1) != (result[1] == -1));
  events.host(1).set();
  for (auto& t : threads) t.join();
  std::array<int, 2> got{result[0], result[1]};
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::array<int, 2>{0, 1}));
  EXPECT_EQ(events.signalled(), (std::vector<bool>{false, true}));
}

TEST(EventWait, AutoResetRacesNeverHandOneSetToTwoWaiters) {
  // Sets land at every point of the waiters' scan-and-sleep, not only while they sleep.
  for (int round = 0; round < 100; ++round) {
    OpenedEvents events({false, true});  // frame first, then stop
    std::atomic<int> frames{0};
    auto waiter = [&] {
      if (waitForAny(events.opened()) == 0u) ++frames;
    };
    std::thread first(waiter);
    std::thread second(waiter);
    events.host(0).set();
    ASSERT_TRUE(eventually([&] { return frames > 0; }));
    events.host(1).set();
    first.join();
    second.join();
    ASSERT_EQ(frames, 1) << "round " << round;
  }
}

TEST(EventWait, WaiterInAnotherProcessBlocksUntilSet) {
  HostEvent stop(true, "stop"), frame(false, "frame");
  Peer peer({"wait", stop.name(), frame.name()});
  ASSERT_TRUE(peer.started());
  ASSERT_TRUE(eventually([&] { return peer.blockedInWait(); }));
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(peer.blockedInWait());
  frame.set();
  EXPECT_EQ(peer.exitCode(), 1);
  EXPECT_FALSE(frame.signalled()) << "the peer consumed it";
}

TEST(EventWait, AutoResetIsConsumedByExactlyOneOfTwoProcesses) {
  HostEvent frame(false, "frame"), stop(true, "stop");
  std::array<std::unique_ptr<Peer>, 2> peers;
  for (auto& peer : peers) {
    peer = std::make_unique<Peer>(std::vector<std::string>{"wait", frame.name(), stop.name()});
    ASSERT_TRUE(peer->started());
  }
  ASSERT_TRUE(eventually([&] { return peers[0]->blockedInWait() && peers[1]->blockedInWait(); }));
  frame.set();
  ASSERT_TRUE(eventually([&] { return !peers[0]->running() || !peers[1]->running(); }));
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(peers[0]->running() != peers[1]->running());
  stop.set();
  std::array<int, 2> got{peers[0]->exitCode().value_or(-2), peers[1]->exitCode().value_or(-2)};
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::array<int, 2>{0, 1}));
  EXPECT_FALSE(frame.signalled());
}

// One request's round trip with the peer as the worker: each side keeps its view mapped
// while the other writes, so they share memory rather than copies.
TEST(SectionViews, SeeEachOthersWritesAcrossProcesses) {
  constexpr std::size_t kLength = 0x9000;
  HostSection frame(kLength, "frame"), mask(kLength, "mask");
  HostEvent request(false, "request"), answer(false, "answer");
  Peer peer({"serve", frame.name(), mask.name(), request.name(), answer.name(),
             std::to_string(kLength)});
  ASSERT_TRUE(peer.started());
  Event answered = openEvent(answer.name().c_str(), EventAccess::wait);
  Event* const one[] = {&answered};
  ASSERT_EQ(waitForAny(one), 0u) << "the peer's views are mapped";
  for (std::size_t i = 0; i < kLength; ++i) frame.bytes()[i] = uint8_t(i * 7);
  request.set();
  ASSERT_EQ(waitForAny(one), 0u);
  bool copied = true;
  for (std::size_t i = 0; i < kLength; ++i) copied = copied && mask.bytes()[i] == uint8_t(i * 7 + 1);
  EXPECT_TRUE(copied);
  EXPECT_EQ(peer.exitCode(), 0);
}

}  // namespace
}  // namespace mivra::foreground_detection::platform::test
