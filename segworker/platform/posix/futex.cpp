#include "futex.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>

namespace mivra::foreground_detection::platform::posix {

static_assert(sizeof(futex_waitv) == 24, "struct futex_waitv {u64 val; u64 uaddr; u32 flags; u32 __reserved;}");
static_assert(kMaxWaitWords == FUTEX_WAITV_MAX);

void wakeAll(std::uint32_t* word) noexcept {
  syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

FutexWait waitOnAny(std::uint32_t* const* words, const std::uint32_t* expected,
                    std::size_t count) noexcept {
  if (count == 0 || count > kMaxWaitWords) return FutexWait::failed;
  std::array<futex_waitv, kMaxWaitWords> waiters{};
  for (std::size_t i = 0; i < count; ++i) {
    waiters[i].val = expected[i];
    waiters[i].uaddr = reinterpret_cast<std::uintptr_t>(words[i]);
    waiters[i].flags = FUTEX_32;
  }
  const long woken = syscall(SYS_futex_waitv, waiters.data(), static_cast<unsigned>(count), 0u,
                             nullptr, 0);
  if (woken >= 0 || errno == EAGAIN || errno == EINTR) return FutexWait::recheck;
  return FutexWait::failed;
}

}  // namespace mivra::foreground_detection::platform::posix
