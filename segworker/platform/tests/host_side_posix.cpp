#include "host_side.h"

#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <climits>
#include <csignal>

#include "named_objects.h"
#include "posix/host_objects.h"
#include "posix_support.h"

extern char** environ;

namespace mivra::foreground_detection::platform::test {

std::string uniqueName(const std::string& tag) { return segtest::uniqueName(tag); }

// Made with the contract's host side; the state is read from the object's bytes.
struct HostEvent::Native {
  posix::ObjectName name;
  Event event;
};

HostEvent::HostEvent(bool manualReset, const std::string& tag)
    : native_(new Native{posix::ObjectName(uniqueName(tag)), {}}) {
  native_->event = posix::createEvent(
      native_->name.str(), manualReset ? posix::EventReset::manual : posix::EventReset::automatic);
}
HostEvent::~HostEvent() = default;
HostEvent::HostEvent(HostEvent&&) noexcept = default;
const std::string& HostEvent::name() const { return native_->name.str(); }
void HostEvent::set() { native_->event.set(); }
bool HostEvent::signalled() const { return segtest::rawState(native_->name.str()) == 1; }

struct HostSection::Native {
  posix::ObjectName name;
  Section section;
  WriteView view;
};

HostSection::HostSection(std::size_t bytes, const std::string& tag)
    : native_(new Native{posix::ObjectName(uniqueName(tag)), {}, {}}) {
  native_->section = posix::createSection(native_->name.str(), bytes);
  native_->view = mapWriteView(native_->section, bytes);
}
HostSection::~HostSection() = default;
HostSection::HostSection(HostSection&&) noexcept = default;
const std::string& HostSection::name() const { return native_->name.str(); }
uint8_t* HostSection::bytes() { return reinterpret_cast<uint8_t*>(native_->view.data()); }

const std::size_t kShortBy = 1;
const std::size_t kMaxWaitEvents = 128;

struct Peer::Native {
  pid_t pid = -1;
  std::optional<int> status;
};

Peer::Peer(const std::vector<std::string>& arguments) : native_(new Native) {
  std::vector<std::string> argv{SEGWORKER_PLATFORM_PEER};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  if (posix_spawn(&native_->pid, SEGWORKER_PLATFORM_PEER, nullptr, nullptr, pointers.data(),
                  environ) != 0) {
    native_->pid = -1;
  }
}

Peer::~Peer() {
  if (native_->pid > 0 && !native_->status) {
    kill(native_->pid, SIGKILL);
    waitpid(native_->pid, nullptr, 0);
  }
}

bool Peer::started() const { return native_->pid > 0; }

bool Peer::running() {
  if (native_->status) return false;
  int status = 0;
  if (waitpid(native_->pid, &status, WNOHANG) != native_->pid) return true;
  native_->status = status;
  return false;
}

std::optional<int> Peer::exitCode(int boundMs) {
  if (!segtest::eventually([&] { return !running(); }, std::chrono::milliseconds(boundMs)))
    return std::nullopt;
  return WIFEXITED(*native_->status) ? WEXITSTATUS(*native_->status) : -1;
}

bool Peer::blockedInWait() {
  return running() &&
         segtest::blockedSyscall("/proc/" + std::to_string(native_->pid)) == segtest::kFutexWaitv;
}

uint64_t currentThreadId() { return static_cast<uint64_t>(gettid()); }

bool threadBlockedInWait(uint64_t threadId) {
  return segtest::blockedSyscall("/proc/self/task/" + std::to_string(threadId)) ==
         segtest::kFutexWaitv;
}

}  // namespace mivra::foreground_detection::platform::test
