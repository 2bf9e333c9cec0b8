#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Objects written straight from the named-object contract, without the module's own
// creation code, so the tests check what another host would see.
namespace segtest {

inline std::string uniqueName(const std::string& tag) {
  static int serial = 0;
  return "vxtest-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + "-" + tag;
}

inline std::vector<unsigned char> eventBytes(std::uint32_t magic, std::uint32_t flags,
                                             std::uint32_t state) {
  std::vector<unsigned char> bytes;
  for (std::uint32_t word : {magic, flags, state, 0u}) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back((word >> shift) & 0xff);
  }
  return bytes;
}

// Creates "/name" holding `bytes`, padded with zeros to `size` when that is larger.
inline bool writeRawObject(const std::string& name, const std::vector<unsigned char>& bytes,
                           std::size_t size = 0) {
  const int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  const bool written = ftruncate(fd, static_cast<off_t>(std::max(size, bytes.size()))) == 0 &&
                       pwrite(fd, bytes.data(), bytes.size(), 0) ==
                           static_cast<ssize_t>(bytes.size());
  close(fd);
  return written;
}

inline std::vector<unsigned char> readRawObject(const std::string& name) {
  std::ifstream file("/dev/shm/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::uint32_t rawState(const std::string& name) {
  const auto bytes = readRawObject(name);
  if (bytes.size() < 12) return 0xffffffff;
  return bytes[8] | bytes[9] << 8 | bytes[10] << 16 | static_cast<std::uint32_t>(bytes[11]) << 24;
}

// The system call a thread (or process) is blocked in, from /proc/<id>/syscall.
inline std::optional<long> blockedSyscall(const std::string& procPath) {
  std::ifstream file(procPath + "/syscall");
  long number = -1;
  if (!(file >> number)) return std::nullopt;
  return number;
}

inline constexpr long kFutexWaitv = 449;

// Polls from the test's side only, with a generous bound.
inline bool eventually(auto condition, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A forked child running `body`, whose int result becomes its exit code.
class Child {
 public:
  template <typename Body>
  explicit Child(Body body) : pid_(fork()) {
    if (pid_ == 0) _exit(body());
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  pid_t pid() const { return pid_; }
  std::string procPath() const { return "/proc/" + std::to_string(pid_); }

  bool running() {
    if (status_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = status;
    return false;
  }

  // The exit code once the child has ended within the bound; none if it has not.
  std::optional<int> exitCode(std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    if (!eventually([&] { return !running(); }, bound)) return std::nullopt;
    if (!WIFEXITED(*status_)) return -1;
    return WEXITSTATUS(*status_);
  }

 private:
  pid_t pid_;
  std::optional<int> status_;
};

}  // namespace segtest
