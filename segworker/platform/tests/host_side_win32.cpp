#include "host_side.h"

#include <windows.h>

#include <array>

namespace mivra::foreground_detection::platform::test {

std::string uniqueName(const std::string& tag) {
  static int serial = 0;
  return "vxtest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial) +
         "-" + tag;
}

struct HostEvent::Native {
  std::string name;
  HANDLE handle = nullptr;
};

HostEvent::HostEvent(bool manualReset, const std::string& tag) : native_(new Native) {
  native_->name = uniqueName(tag);
  native_->handle = CreateEventA(nullptr, manualReset, FALSE, native_->name.c_str());
}
HostEvent::~HostEvent() {
  if (native_ && native_->handle) CloseHandle(native_->handle);
}
HostEvent::HostEvent(HostEvent&&) noexcept = default;
const std::string& HostEvent::name() const { return native_->name; }
void HostEvent::set() { SetEvent(native_->handle); }
bool HostEvent::signalled() const { return WaitForSingleObject(native_->handle, 0) == WAIT_OBJECT_0; }

struct HostSection::Native {
  std::string name;
  HANDLE handle = nullptr;
  void* view = nullptr;
};

HostSection::HostSection(std::size_t bytes, const std::string& tag) : native_(new Native) {
  native_->name = uniqueName(tag);
  native_->handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       static_cast<DWORD>(bytes), native_->name.c_str());
  if (native_->handle && bytes > 0)
    native_->view = MapViewOfFile(native_->handle, FILE_MAP_WRITE, 0, 0, bytes);
}
HostSection::~HostSection() {
  if (!native_) return;
  if (native_->view) UnmapViewOfFile(native_->view);
  if (native_->handle) CloseHandle(native_->handle);
}
HostSection::HostSection(HostSection&&) noexcept = default;
const std::string& HostSection::name() const { return native_->name; }
uint8_t* HostSection::bytes() { return static_cast<uint8_t*>(native_->view); }

const std::size_t kShortBy = 0x1000;
const std::size_t kMaxWaitEvents = MAXIMUM_WAIT_OBJECTS;

struct Peer::Native {
  HANDLE process = nullptr;
};

Peer::Peer(const std::vector<std::string>& arguments) : native_(new Native) {
  std::array<char, MAX_PATH> self{};
  GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size()));
  std::string path(self.data());
  path = path.substr(0, path.find_last_of("\\/") + 1) + "segworker_platform_peer.exe";
  std::string commandLine = "\"" + path + "\"";
  for (const std::string& argument : arguments) commandLine += " " + argument;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &info)) {
    CloseHandle(info.hThread);
    native_->process = info.hProcess;
  }
}

Peer::~Peer() {
  if (!native_->process) return;
  if (WaitForSingleObject(native_->process, 0) == WAIT_TIMEOUT) TerminateProcess(native_->process, 1);
  CloseHandle(native_->process);
}

bool Peer::started() const { return native_->process != nullptr; }
bool Peer::running() { return WaitForSingleObject(native_->process, 0) == WAIT_TIMEOUT; }

std::optional<int> Peer::exitCode(int boundMs) {
  if (WaitForSingleObject(native_->process, static_cast<DWORD>(boundMs)) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 999;
  GetExitCodeProcess(native_->process, &code);
  return static_cast<int>(code);
}

bool Peer::blockedInWait() {
  Sleep(100);
  return running();
}

uint64_t currentThreadId() { return GetCurrentThreadId(); }

bool threadBlockedInWait(uint64_t) {
  Sleep(100);
  return true;
}

}  // namespace mivra::foreground_detection::platform::test
