#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "posix/host_objects.h"
#include "worker_process.h"

extern char** environ;

namespace mivra::foreground_detection::host {

namespace posix = platform::posix;
using platform::Event;
using platform::Section;

namespace {

std::string uniquePrefix() {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return "vextra-seg-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(now % 1000000);
}

struct Mapping {
  uint8_t* data = nullptr;
  std::size_t size = 0;
  Mapping() = default;
  Mapping(const Section& section, std::size_t bytes) : size(bytes) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, section.native(), 0);
    if (p == MAP_FAILED) throw std::system_error(errno, std::generic_category(), "mmap");
    data = static_cast<uint8_t*>(p);
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() {
    if (data) ::munmap(data, size);
  }
};

// An event only the host knows: its name is gone as soon as it is open.
Event privateEvent(const std::string& name, posix::EventReset reset) {
  Event event = posix::createEvent(name, reset);
  posix::unlinkObject(name);
  return event;
}

}  // namespace

struct WorkerProcess::Impl {
  std::array<std::string, 6> names;
  std::vector<std::unique_ptr<posix::ObjectName>> owned;
  Event stop, frame, done, fail;
  Section frameSection, maskSection;
  std::optional<Mapping> frameView, maskView;
  // Set by the reaper when the worker has ended.
  Event exited;
  pid_t pid = -1;
  std::thread reaper;
  std::optional<int> exitCode;
  std::mutex exitMutex;

  Signal wait(bool withFail) {
    Event* withFailSet[] = {&done, &fail, &exited};
    Event* readySet[] = {&done, &exited};
    const auto index = withFail ? platform::waitForAny(withFailSet) : platform::waitForAny(readySet);
    if (!index) throw std::runtime_error("waiting for the worker failed");
    if (*index == 0) return Signal::done;
    if (withFail && *index == 1) return Signal::fail;
    return Signal::exited;
  }
};

WorkerProcess::WorkerProcess(const std::string& program, const WorkerOptions& options)
    : impl_(std::make_unique<Impl>()) {
  Impl& s = *impl_;
  const std::string prefix = uniquePrefix();
  const char* roles[6] = {"stop", "frame", "done", "fail", "frame-section", "mask-section"};
  for (int i = 0; i < 6; ++i) s.names[size_t(i)] = prefix + "-" + roles[i];
  const auto create = [&](int i, auto make) {
    if (i == options.missingObject) return decltype(make(s.names[0]))();
    s.owned.push_back(std::make_unique<posix::ObjectName>(s.names[size_t(i)]));
    return make(s.names[size_t(i)]);
  };
  const auto event = [](posix::EventReset reset) {
    return [reset](const std::string& name) { return posix::createEvent(name, reset); };
  };
  // Done and fail reset by themselves once the host has seen them.
  s.stop = create(0, event(posix::EventReset::manual));
  s.frame = create(1, event(posix::EventReset::automatic));
  s.done = create(2, event(posix::EventReset::automatic));
  s.fail = create(3, event(posix::EventReset::automatic));
  s.frameSection = create(4, [&](const std::string& n) { return posix::createSection(n, options.frameSectionBytes); });
  s.maskSection = create(5, [&](const std::string& n) { return posix::createSection(n, options.maskSectionBytes); });
  if (s.frameSection) s.frameView.emplace(s.frameSection, options.frameSectionBytes);
  if (s.maskSection) s.maskView.emplace(s.maskSection, options.maskSectionBytes);
  // The host waits on done and fail even when they were left out for the worker.
  if (!s.done) s.done = privateEvent(prefix + "-host-done", posix::EventReset::automatic);
  if (!s.fail) s.fail = privateEvent(prefix + "-host-fail", posix::EventReset::automatic);
  s.exited = privateEvent(prefix + "-exited", posix::EventReset::manual);

  if (options.stopBeforeStart) s.stop.set();
  if (options.frameBeforeStart) s.frame.set();

  std::vector<std::string> args = {program};
  for (int i = 0; i < options.namesPassed && i < 6; ++i) args.push_back(s.names[size_t(i)]);
  for (const std::string& a : options.extraArguments) args.push_back(a);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [key, value] : options.environment) replaced |= entry.rfind(key + "=", 0) == 0;
    if (!replaced) envStrings.push_back(entry);
  }
  for (const auto& [key, value] : options.environment) envStrings.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data());
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "cannot start " + program);
  s.pid = pid;
  s.reaper = std::thread([&s] {
    int status = 0;
    while (::waitpid(s.pid, &status, 0) < 0 && errno == EINTR) {
    }
    {
      const std::lock_guard lock(s.exitMutex);
      s.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    s.exited.set();
  });
}

WorkerProcess::~WorkerProcess() {
  Impl& s = *impl_;
  if (s.reaper.joinable()) {
    s.stop.set();
    // A worker that ignores the stop within a few seconds is killed.
    for (int i = 0; i < 500; ++i) {
      {
        const std::lock_guard lock(s.exitMutex);
        if (s.exitCode) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (i == 499) ::kill(s.pid, SIGKILL);
    }
    s.reaper.join();
  }
}

Signal WorkerProcess::waitReady() { return impl_->wait(false); }
Signal WorkerProcess::waitAnswer() { return impl_->wait(true); }
void WorkerProcess::setFrame() { impl_->frame.set(); }
void WorkerProcess::setStop() { impl_->stop.set(); }

std::span<uint8_t> WorkerProcess::frameSection() {
  return impl_->frameView ? std::span<uint8_t>(impl_->frameView->data, impl_->frameView->size) : std::span<uint8_t>();
}
std::span<const uint8_t> WorkerProcess::maskSection() const {
  return impl_->maskView ? std::span<const uint8_t>(impl_->maskView->data, impl_->maskView->size)
                         : std::span<const uint8_t>();
}

int WorkerProcess::waitExit() {
  Event* exitedSet[] = {&impl_->exited};
  if (!platform::waitForAny(exitedSet)) throw std::runtime_error("waiting for the worker failed");
  const std::lock_guard lock(impl_->exitMutex);
  return *impl_->exitCode;
}

const std::array<std::string, 6>& WorkerProcess::names() const { return impl_->names; }

}  // namespace mivra::foreground_detection::host
