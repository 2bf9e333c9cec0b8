#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The other side of the named-object contract, one implementation per platform: objects
// made the way a host makes them (Win32 calls, or the POSIX contract's host side), and a
// second process running the peer program. The contract suite is written once over this.
namespace mivra::foreground_detection::platform::test {

// A fresh name, unique to this process and call.
std::string uniqueName(const std::string& tag);

// An event the host created, not signalled. Its name goes with it.
class HostEvent {
 public:
  HostEvent(bool manualReset, const std::string& tag = "event");
  ~HostEvent();
  HostEvent(HostEvent&&) noexcept;
  HostEvent& operator=(HostEvent&&) = delete;

  const std::string& name() const;
  void set();
  // A last look, once a test is done with the event: where the platform has no other
  // way to look (Win32), an auto-reset event found signalled is consumed.
  bool signalled() const;

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};

// A section the host created, of `bytes` zero bytes, open for reading and writing. Its
// name goes with it.
class HostSection {
 public:
  HostSection(std::size_t bytes, const std::string& tag = "section");
  ~HostSection();
  HostSection(HostSection&&) noexcept;
  HostSection& operator=(HostSection&&) = delete;

  const std::string& name() const;
  // The host's own view of all of it, mapped for the section's life.
  uint8_t* bytes();

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};

// How much a section must lack for a view of its nominal size to fail: sections are
// page-granular on Windows, exact natively.
extern const std::size_t kShortBy;

// The most events one wait takes.
extern const std::size_t kMaxWaitEvents;

// The peer program (platform_peer.cpp), started with arguments.
class Peer {
 public:
  explicit Peer(const std::vector<std::string>& arguments);
  ~Peer();  // ends it if it still runs
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  bool started() const;
  bool running();
  // Its exit code once it has ended within the bound (milliseconds); none if not.
  std::optional<int> exitCode(int boundMs = 10000);
  // Whether it is blocked in its wait: natively, asleep in the kernel's multi-futex wait;
  // on Windows, where no process shows where it waits, still running.
  bool blockedInWait();

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};

// The calling thread's id, and whether that thread is blocked in a wait (natively asleep in
// the kernel; on Windows, running for a tenth of a second since asked).
uint64_t currentThreadId();
bool threadBlockedInWait(uint64_t threadId);

}  // namespace mivra::foreground_detection::platform::test
