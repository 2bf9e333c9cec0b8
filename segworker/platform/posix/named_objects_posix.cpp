#include "named_objects.h"

#include "event_words.h"
#include "futex.h"
#include "shm_name.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>

namespace mivra::foreground_detection::platform {
namespace {

using UniqueFd = UniqueNative<SectionTraits>;

UniqueFd openShm(const char* name, int flags) {
  const auto path = posix::shmName(name);
  if (!path) return UniqueFd();
  return UniqueFd(shm_open(path->c_str(), flags | O_CLOEXEC, 0));
}

// Reading past the object's end would raise SIGBUS, so every mapping is checked against
// the object's size first.
bool holdsAtLeast(int fd, std::size_t length) {
  struct stat status {};
  return fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= 0 &&
         static_cast<std::uintmax_t>(status.st_size) >= length;
}

void* mapShared(int fd, std::size_t length, int protection) {
  if (length == 0 || !holdsAtLeast(fd, length)) return nullptr;
  // Views live for one request and are read whole: one populating call is far cheaper than a
  // fault per page.
  void* address = mmap(nullptr, length, protection, MAP_SHARED | MAP_POPULATE, fd, 0);
  return address == MAP_FAILED ? nullptr : address;
}

std::uint32_t* mapEventWords(int fd) {
  void* address = mapShared(fd, posix::kEventBytes, PROT_READ | PROT_WRITE);
  if (address == nullptr) return nullptr;
  auto* words = static_cast<std::uint32_t*>(address);
  if (posix::eventWord(words, posix::kMagicWord).load(std::memory_order_acquire) !=
      posix::kEventMagic) {
    munmap(address, posix::kEventBytes);
    return nullptr;
  }
  return words;
}

bool isManualReset(std::uint32_t* words) {
  return (posix::eventWord(words, posix::kFlagsWord).load(std::memory_order_relaxed) &
          posix::kManualResetFlag) != 0;
}

// Takes the event if it is signalled; an auto-reset one only if this caller wins the 1 -> 0
// exchange. Otherwise records the state seen, to sleep on.
bool take(std::uint32_t* words, std::uint32_t& seen) {
  auto state = posix::eventWord(words, posix::kStateWord);
  seen = state.load(std::memory_order_acquire);
  if (seen != 1) return false;
  if (isManualReset(words)) return true;
  return state.compare_exchange_strong(seen, 0, std::memory_order_acquire);
}

}  // namespace

void EventTraits::close(Native words) noexcept { munmap(words, posix::kEventBytes); }
void SectionTraits::close(Native fd) noexcept { ::close(fd); }

void unmapView(const void* address, std::size_t length) noexcept {
  munmap(const_cast<void*>(address), length);
}

void Event::set() noexcept {
  if (!*this) return;
  std::uint32_t* words = native();
  posix::eventWord(words, posix::kStateWord).store(1, std::memory_order_release);
  posix::wakeAll(&words[posix::kStateWord]);
}

void Event::reset() noexcept {
  if (!*this) return;
  posix::eventWord(native(), posix::kStateWord).store(0, std::memory_order_release);
}

Event openEvent(const char* name, EventAccess) noexcept {
  const UniqueFd fd = openShm(name, O_RDWR);
  if (!fd) return Event();
  return Event(mapEventWords(fd.get()));
}

Section openSection(const char* name, SectionAccess access) noexcept {
  return Section(openShm(name, access == SectionAccess::read ? O_RDONLY : O_RDWR).release());
}

ReadView mapReadView(const Section& section, std::size_t length) noexcept {
  if (!section) return ReadView();
  void* address = mapShared(section.native(), length, PROT_READ);
  return address ? ReadView(static_cast<const std::byte*>(address), length) : ReadView();
}

WriteView mapWriteView(const Section& section, std::size_t length) noexcept {
  if (!section) return WriteView();
  void* address = mapShared(section.native(), length, PROT_READ | PROT_WRITE);
  return address ? WriteView(static_cast<std::byte*>(address), length) : WriteView();
}

std::optional<std::size_t> waitForAny(std::span<Event* const> events) noexcept {
  const std::size_t count = events.size();
  if (count == 0 || count > posix::kMaxWaitWords) return std::nullopt;
  std::array<std::uint32_t*, posix::kMaxWaitWords> words{};
  std::array<std::uint32_t*, posix::kMaxWaitWords> stateWords{};
  for (std::size_t i = 0; i < count; ++i) {
    if (events[i] == nullptr || !*events[i]) return std::nullopt;
    words[i] = events[i]->native();
    stateWords[i] = &words[i][posix::kStateWord];
  }
  std::array<std::uint32_t, posix::kMaxWaitWords> seen{};
  for (;;) {
    for (std::size_t i = 0; i < count; ++i) {
      if (take(words[i], seen[i])) return i;
    }
    // Sleeping on the values just seen: a Set in between changes one, and the kernel
    // then returns at once instead of losing the wake.
    if (posix::waitOnAny(stateWords.data(), seen.data(), count) == posix::FutexWait::failed) {
      return std::nullopt;
    }
  }
}

}  // namespace mivra::foreground_detection::platform
