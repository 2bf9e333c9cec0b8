#include "named_objects.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace mivra::foreground_detection::platform;

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

std::string uniqueName(const std::string& tag) {
  static int serial = 0;
  return "vxtest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial) +
         "-" + tag;
}

// The host's objects, made with the Win32 calls a host uses.
struct HostEvent {
  std::string name;
  Handle handle;
};

HostEvent createEvent(bool manual, const std::string& tag = "event") {
  std::string name = uniqueName(tag);
  Handle handle(CreateEventA(nullptr, manual, FALSE, name.c_str()), &CloseHandle);
  return {std::move(name), std::move(handle)};
}

struct HostSection {
  std::string name;
  Handle handle;
};

HostSection createSection(DWORD size, const std::string& tag = "section") {
  std::string name = uniqueName(tag);
  Handle handle(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size,
                                   name.c_str()),
                &CloseHandle);
  return {std::move(name), std::move(handle)};
}

bool isSignalled(const HostEvent& event) {
  return WaitForSingleObject(event.handle.get(), 0) == WAIT_OBJECT_0;
}

TEST(Win32NamedObjects, OpenOnlyExistingObjectsOfTheirKind) {
  const HostEvent event = createEvent(true);
  const HostSection section = createSection(4096);
  ASSERT_TRUE(event.handle && section.handle);
  const struct {
    const char* what;
    std::string name;
    bool opensAsEvent;
    bool opensAsSection;
  } cases[] = {
      {"the event", event.name, true, false},
      {"the section", section.name, false, true},
      {"no object of that name", uniqueName("missing"), false, false},
      {"empty name", "", false, false},
      {"a path into a missing directory", "nowhere\\" + event.name, false, false},
      {"longer than MAX_PATH", event.name + std::string(MAX_PATH, 'n'), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(static_cast<bool>(openEvent(c.name.c_str(), EventAccess::waitAndModify)),
              c.opensAsEvent);
    EXPECT_EQ(static_cast<bool>(openSection(c.name.c_str(), SectionAccess::read)),
              c.opensAsSection);
  }
}

TEST(Win32NamedObjects, MapsViewsOnlyWithinTheSectionAndItsAccess) {
  const struct {
    DWORD sectionSize;
    SectionAccess opened;
    bool write;
    std::size_t length;
    bool maps;
  } cases[] = {
      {0x24000, SectionAccess::read, false, 0x24000, true},
      {0x23000, SectionAccess::read, false, 0x24000, false},
      {0x9000, SectionAccess::write, true, 0x9000, true},
      {0x8000, SectionAccess::write, true, 0x9000, false},
      // Sections are page-granular here: a view ending in the section's last page maps, so
      // "too small" means at least one page short (unlike the POSIX contract's exact size).
      {0x23FFF, SectionAccess::read, false, 0x24000, true},
      // Windows grants a view only the access the section was opened for.
      {0x9000, SectionAccess::write, false, 0x9000, false},
      {0x9000, SectionAccess::read, true, 0x9000, false},
      {0x9000, SectionAccess::read, false, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "section " << c.sectionSize << ", view " << c.length
                                    << (c.write ? " write" : " read"));
    const HostSection host = createSection(c.sectionSize);
    const Section section = openSection(host.name.c_str(), c.opened);
    ASSERT_TRUE(section);
    const bool mapped = c.write ? static_cast<bool>(mapWriteView(section, c.length))
                                : static_cast<bool>(mapReadView(section, c.length));
    EXPECT_EQ(mapped, c.maps);
  }
}

class OpenedEvents {
 public:
  explicit OpenedEvents(std::initializer_list<bool> manual) {
    for (bool m : manual) {
      host_.push_back(createEvent(m));
      opened_.push_back(openEvent(host_.back().name.c_str(), EventAccess::waitAndModify));
    }
    for (Event& event : opened_) pointers_.push_back(&event);
  }
  HostEvent& host(std::size_t i) { return host_[i]; }
  std::span<Event* const> opened() const { return pointers_; }
  std::vector<bool> signalled() const {
    std::vector<bool> states;
    for (const HostEvent& event : host_) states.push_back(isSignalled(event));
    return states;
  }

 private:
  std::vector<HostEvent> host_;
  std::vector<Event> opened_;
  std::vector<Event*> pointers_;
};

TEST(Win32NamedObjects, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "winner " << c.winner);
    OpenedEvents events(c.manual);
    for (std::size_t i : c.signalled) SetEvent(events.host(i).handle.get());
    EXPECT_EQ(waitForAny(events.opened()), c.winner);
    EXPECT_EQ(events.signalled(), c.signalledAfter);
  }
}

TEST(Win32NamedObjects, SetAndResetReachTheHostsEvent) {
  OpenedEvents events({true, false});
  events.opened()[0]->set();
  EXPECT_EQ(waitForAny(events.opened()), 0u);
  EXPECT_EQ(waitForAny(events.opened()), 0u);
  events.opened()[0]->reset();
  events.opened()[1]->set();
  EXPECT_EQ(waitForAny(events.opened()), 1u);
  EXPECT_EQ(events.signalled(), (std::vector<bool>{false, false}));
}

TEST(Win32NamedObjects, AFailingWaitIsTheFailedResult) {
  const HostSection host = createSection(4096);
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), host.handle.get(), GetCurrentProcess(),
                              &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS));
  // A section handle cannot be waited on, so the call itself fails.
  Event notWaitable(duplicate);
  OpenedEvents events({true});
  SetEvent(events.host(0).handle.get());
  Event* const withSection[] = {&notWaitable, events.opened()[0]};
  Event empty;
  Event* const withEmpty[] = {events.opened()[0], &empty};
  const std::vector<Event*> overLimit(MAXIMUM_WAIT_OBJECTS + 1, events.opened()[0]);

  EXPECT_EQ(waitForAny(withSection), std::nullopt);
  EXPECT_EQ(waitForAny(withEmpty), std::nullopt);
  EXPECT_EQ(waitForAny({}), std::nullopt);
  EXPECT_EQ(waitForAny(overLimit), std::nullopt);
}

TEST(Win32NamedObjects, AutoResetIsConsumedByExactlyOneOfTwoThreads) {
  OpenedEvents events({false, true});  // frame first, so the stop cannot win before it
  std::array<DWORD, 2> result{99, 99};
  auto waiter = [&](int i) {
    const auto woken = waitForAny(events.opened());
    result[i] = woken ? static_cast<DWORD>(*woken) : 100;
  };
  std::thread first(waiter, 0);
  std::thread second(waiter, 1);
  Sleep(100);
  SetEvent(events.host(0).handle.get());
  Sleep(200);
  SetEvent(events.host(1).handle.get());
  first.join();
  second.join();
  std::sort(result.begin(), result.end());
  EXPECT_EQ(result, (std::array<DWORD, 2>{0, 1}));
}

// The peer program beside this test program, started with `arguments`.
class Peer {
 public:
  explicit Peer(const std::string& arguments) {
    std::array<char, MAX_PATH> self{};
    GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size()));
    std::string path(self.data());
    path = path.substr(0, path.find_last_of("\\/") + 1) + "segworker_platform_win32_peer.exe";
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &info)) {
      CloseHandle(info.hThread);
      process_.reset(info.hProcess);
    }
  }
  ~Peer() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT)
      TerminateProcess(process_.get(), 1);
  }

  explicit operator bool() const { return static_cast<bool>(process_); }
  bool runningAfter(DWORD milliseconds) const {
    return WaitForSingleObject(process_.get(), milliseconds) == WAIT_TIMEOUT;
  }
  DWORD exitCode(DWORD bound = 10000) const {
    if (WaitForSingleObject(process_.get(), bound) != WAIT_OBJECT_0) return 999;
    DWORD code = 999;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  Handle process_{nullptr, &CloseHandle};
};

TEST(Win32NamedObjects, WaiterInAnotherProcessBlocksUntilSet) {
  const HostEvent stop = createEvent(true, "stop");
  const HostEvent frame = createEvent(false, "frame");
  const Peer peer("wait " + stop.name + " " + frame.name);
  ASSERT_TRUE(peer);
  EXPECT_TRUE(peer.runningAfter(500));
  SetEvent(frame.handle.get());
  EXPECT_EQ(peer.exitCode(), 1u);
  EXPECT_FALSE(isSignalled(frame));
}

TEST(Win32NamedObjects, ViewsSeeEachOthersWritesAcrossProcesses) {
  constexpr std::size_t kLength = 0x9000;
  const HostSection frame = createSection(kLength, "frame");
  const HostSection mask = createSection(kLength, "mask");
  const HostEvent request = createEvent(false, "request");
  const HostEvent answer = createEvent(false, "answer");
  auto* frameBytes = static_cast<unsigned char*>(
      MapViewOfFile(frame.handle.get(), FILE_MAP_WRITE, 0, 0, kLength));
  auto* maskBytes = static_cast<const unsigned char*>(
      MapViewOfFile(mask.handle.get(), FILE_MAP_READ, 0, 0, kLength));
  ASSERT_TRUE(frameBytes && maskBytes);

  const Peer peer("serve " + frame.name + " " + mask.name + " " + request.name + " " +
                  answer.name + " " + std::to_string(kLength));
  ASSERT_TRUE(peer);
  ASSERT_EQ(WaitForSingleObject(answer.handle.get(), 10000), WAIT_OBJECT_0);
  for (std::size_t i = 0; i < kLength; ++i) frameBytes[i] = static_cast<unsigned char>(i * 7);
  SetEvent(request.handle.get());
  ASSERT_EQ(WaitForSingleObject(answer.handle.get(), 10000), WAIT_OBJECT_0);
  bool copied = true;
  for (std::size_t i = 0; i < kLength; ++i)
    copied = copied && maskBytes[i] == static_cast<unsigned char>(i * 7 + 1);
  EXPECT_TRUE(copied);
  EXPECT_EQ(peer.exitCode(), 0u);
  UnmapViewOfFile(frameBytes);
  UnmapViewOfFile(maskBytes);
}

}  // namespace
