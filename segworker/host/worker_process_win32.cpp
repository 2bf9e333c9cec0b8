#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "worker_process.h"

namespace mivra::foreground_detection::host {

namespace {

[[noreturn]] void throwLastError(const std::string& what) {
  throw std::system_error(int(GetLastError()), std::system_category(), what);
}

struct HandleClose {
  void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleClose>;

struct ViewUnmap {
  void operator()(uint8_t* p) const noexcept { UnmapViewOfFile(p); }
};
using View = std::unique_ptr<uint8_t, ViewUnmap>;

std::string uniquePrefix() {
  static std::atomic<unsigned> counter{0};
  return "vextra-seg-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(GetTickCount64() % 1000000);
}

Handle createEvent(const std::string& name, bool manualReset) {
  Handle h(CreateEventA(nullptr, manualReset, FALSE, name.empty() ? nullptr : name.c_str()));
  if (!h) throwLastError("CreateEventA " + name);
  return h;
}

Handle createSection(const std::string& name, std::size_t bytes) {
  Handle h(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, DWORD(uint64_t(bytes) >> 32),
                              DWORD(bytes), name.c_str()));
  if (!h) throwLastError("CreateFileMappingA " + name);
  return h;
}

// Quotes an argument the way the runtime's command-line splitting reads it back.
std::string quoted(const std::string& arg) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

// The host's environment with some variables replaced, as a CreateProcess block.
std::string environmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::string block;
  const std::unique_ptr<char, decltype(&FreeEnvironmentStringsA)> strings(GetEnvironmentStringsA(),
                                                                          &FreeEnvironmentStringsA);
  for (const char* entry = strings.get(); entry && *entry; entry += std::strlen(entry) + 1) {
    const std::string e = entry;
    bool replaced = false;
    for (const auto& [key, value] : changes) replaced |= _strnicmp(e.c_str(), (key + "=").c_str(), key.size() + 1) == 0;
    if (!replaced) block += e + '\0';
  }
  for (const auto& [key, value] : changes) block += key + "=" + value + '\0';
  return block + '\0';
}

}  // namespace

struct WorkerProcess::Impl {
  std::array<std::string, 6> names;
  Handle stop, frame, done, fail, frameSection, maskSection;
  View frameView, maskView;
  std::size_t frameBytes = 0, maskBytes = 0;
  Handle process;
  std::optional<int> exitCode;

  Signal wait(bool withFail) {
    const HANDLE withFailSet[] = {done.get(), fail.get(), process.get()};
    const HANDLE readySet[] = {done.get(), process.get()};
    const DWORD r = withFail ? WaitForMultipleObjects(3, withFailSet, FALSE, INFINITE)
                             : WaitForMultipleObjects(2, readySet, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0) return Signal::done;
    if (withFail && r == WAIT_OBJECT_0 + 1) return Signal::fail;
    if (r == WAIT_OBJECT_0 + (withFail ? 2 : 1)) return Signal::exited;
    throwLastError("WaitForMultipleObjects");
  }
};

WorkerProcess::WorkerProcess(const std::string& program, const WorkerOptions& options)
    : impl_(std::make_unique<Impl>()) {
  Impl& s = *impl_;
  const std::string prefix = uniquePrefix();
  const char* roles[6] = {"stop", "frame", "done", "fail", "frame-section", "mask-section"};
  for (int i = 0; i < 6; ++i) s.names[size_t(i)] = prefix + "-" + roles[i];
  // A missing object keeps its name but gets an unnamed stand-in the worker cannot open.
  const auto name = [&](int i) { return i == options.missingObject ? std::string() : s.names[size_t(i)]; };
  s.stop = createEvent(name(0), true);
  s.frame = createEvent(name(1), false);
  s.done = createEvent(name(2), false);
  s.fail = createEvent(name(3), false);
  s.frameBytes = options.frameSectionBytes;
  s.maskBytes = options.maskSectionBytes;
  if (options.missingObject != 4) {
    s.frameSection = createSection(name(4), s.frameBytes);
    s.frameView.reset(static_cast<uint8_t*>(MapViewOfFile(s.frameSection.get(), FILE_MAP_WRITE, 0, 0, s.frameBytes)));
  }
  if (options.missingObject != 5) {
    s.maskSection = createSection(name(5), s.maskBytes);
    s.maskView.reset(static_cast<uint8_t*>(MapViewOfFile(s.maskSection.get(), FILE_MAP_WRITE, 0, 0, s.maskBytes)));
  }
  if (options.stopBeforeStart) SetEvent(s.stop.get());
  if (options.frameBeforeStart) SetEvent(s.frame.get());

  std::string commandLine = quoted(program);
  std::vector<std::string> args(s.names.begin(), s.names.begin() + std::clamp(options.namesPassed, 0, 6));
  args.insert(args.end(), options.extraArguments.begin(), options.extraArguments.end());
  for (const std::string& a : args) commandLine.append(1, ' ').append(quoted(a));
  std::string environment = environmentBlock(options.environment);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, environment.data(), nullptr,
                      &startup, &info))
    throwLastError("CreateProcessA " + program);
  CloseHandle(info.hThread);
  s.process.reset(info.hProcess);
}

WorkerProcess::~WorkerProcess() {
  Impl& s = *impl_;
  if (!s.process) return;
  SetEvent(s.stop.get());
  if (WaitForSingleObject(s.process.get(), 5000) != WAIT_OBJECT_0) TerminateProcess(s.process.get(), 1);
  WaitForSingleObject(s.process.get(), INFINITE);
}

Signal WorkerProcess::waitReady() { return impl_->wait(false); }
Signal WorkerProcess::waitAnswer() { return impl_->wait(true); }
void WorkerProcess::setFrame() { SetEvent(impl_->frame.get()); }
void WorkerProcess::setStop() { SetEvent(impl_->stop.get()); }

std::span<uint8_t> WorkerProcess::frameSection() {
  return impl_->frameView ? std::span<uint8_t>(impl_->frameView.get(), impl_->frameBytes) : std::span<uint8_t>();
}
std::span<const uint8_t> WorkerProcess::maskSection() const {
  return impl_->maskView ? std::span<const uint8_t>(impl_->maskView.get(), impl_->maskBytes)
                         : std::span<const uint8_t>();
}

int WorkerProcess::waitExit() {
  if (WaitForSingleObject(impl_->process.get(), INFINITE) != WAIT_OBJECT_0) throwLastError("WaitForSingleObject");
  DWORD code = 0;
  GetExitCodeProcess(impl_->process.get(), &code);
  return int(code);
}

const std::array<std::string, 6>& WorkerProcess::names() const { return impl_->names; }

}  // namespace mivra::foreground_detection::host
