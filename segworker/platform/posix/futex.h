#pragma once

#include <cstddef>
#include <cstdint>

// Futex calls on words shared between processes (never FUTEX_PRIVATE_FLAG).
namespace mivra::foreground_detection::platform::posix {

void wakeAll(std::uint32_t* word) noexcept;

// The most words one vectored wait takes (FUTEX_WAITV_MAX).
inline constexpr std::size_t kMaxWaitWords = 128;

enum class FutexWait { recheck, failed };

// Sleeps until one of words[i] is woken or no longer holds expected[i]. `recheck` covers a
// wake, a changed value and an interruption; `failed` is the call itself failing (ENOSYS on
// kernels before 5.16, or any other error), which no re-check can cure.
FutexWait waitOnAny(std::uint32_t* const* words, const std::uint32_t* expected,
                    std::size_t count) noexcept;

}  // namespace mivra::foreground_detection::platform::posix
