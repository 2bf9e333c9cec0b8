#include "subprocess.h"

#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace vextra::media {

namespace {

[[noreturn]] void throwErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

Subprocess::Subprocess(const std::vector<std::string>& argv, Pipe pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throwErrno("pipe2");
  const int childEnd = pipe == Pipe::fromChild ? fds[1] : fds[0];
  fd_ = pipe == Pipe::fromChild ? fds[0] : fds[1];

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, childEnd, pipe == Pipe::fromChild ? 1 : 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(childEnd);
  if (rc != 0) {
    ::close(fd_);
    throw std::system_error(rc, std::generic_category(), "cannot start " + argv[0]);
  }
  pid_ = pid;
  // A reader that leaves early must get an error, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
}

Subprocess::~Subprocess() {
  if (pid_ > 0) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::kill(pid_, SIGTERM);
    finish();
  }
}

bool Subprocess::readExactly(std::span<uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd_, bytes.data() + done, bytes.size() - done);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR) continue;
      throwErrno("read");
    }
    done += size_t(n);
  }
  return true;
}

void Subprocess::writeAll(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throwErrno("write");
    }
    done += size_t(n);
  }
}

int Subprocess::finish() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (pid_ <= 0) return -1;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t Subprocess::readSome(std::span<uint8_t> bytes) {
  for (;;) {
    const ssize_t n = ::read(fd_, bytes.data(), bytes.size());
    if (n >= 0) return size_t(n);
    if (errno != EINTR) throwErrno("read");
  }
}

std::string captureOutput(const std::vector<std::string>& argv) {
  Subprocess child(argv, Subprocess::Pipe::fromChild);
  std::string out;
  uint8_t chunk[4096];
  while (const size_t n = child.readSome(chunk)) out.append(reinterpret_cast<const char*>(chunk), n);
  if (child.finish() != 0) throw std::runtime_error(argv[0] + " failed");
  return out;
}

}  // namespace vextra::media
