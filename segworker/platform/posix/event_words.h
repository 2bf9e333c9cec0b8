#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

// The layout other hosts must write for an event: four little-endian 32-bit words at the
// start of the shared-memory object.
namespace mivra::foreground_detection::platform::posix {

static_assert(std::endian::native == std::endian::little, "event words are little-endian");

inline constexpr std::uint32_t kEventMagic = 0x56455856;  // the bytes "VXEV"
inline constexpr std::uint32_t kManualResetFlag = 1;
inline constexpr std::size_t kEventBytes = 16;

enum EventWord : std::size_t { kMagicWord = 0, kFlagsWord = 1, kStateWord = 2, kReservedWord = 3 };

// Every access goes through atomics: the words are shared with other processes.
inline std::atomic_ref<std::uint32_t> eventWord(std::uint32_t* words, EventWord which) {
  return std::atomic_ref<std::uint32_t>(words[which]);
}

static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free,
              "cross-process atomics need lock-free words");

}  // namespace mivra::foreground_detection::platform::posix
