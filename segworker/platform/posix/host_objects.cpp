#include "host_objects.h"

#include "event_words.h"
#include "shm_name.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace mivra::foreground_detection::platform::posix {
namespace {

using UniqueFd = UniqueNative<SectionTraits>;

[[noreturn]] void throwErrno(const char* what, int error = errno) {
  throw std::system_error(error, std::generic_category(), what);
}

std::string shmPathOrThrow(const std::string& name) {
  auto path = shmName(name.c_str());
  if (!path) throwErrno("shm_open", EINVAL);
  return *path;
}

// A fresh object of `size` bytes. The name is removed again if sizing fails, so a failed
// creation leaves nothing behind.
UniqueFd createObject(const std::string& name, std::size_t size) {
  const std::string path = shmPathOrThrow(name);
  UniqueFd fd(shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (!fd) throwErrno("shm_open");
  if (ftruncate(fd.get(), static_cast<off_t>(size)) != 0) {
    const int error = errno;
    shm_unlink(path.c_str());
    throwErrno("ftruncate", error);
  }
  return fd;
}

}  // namespace

Event createEvent(const std::string& name, EventReset reset) {
  const UniqueFd fd = createObject(name, kEventBytes);
  void* address = mmap(nullptr, kEventBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
  if (address == MAP_FAILED) {
    const int error = errno;
    unlinkObject(name);
    throwErrno("mmap", error);
  }
  Event event(static_cast<std::uint32_t*>(address));
  std::uint32_t* words = event.native();
  eventWord(words, kFlagsWord).store(reset == EventReset::manual ? kManualResetFlag : 0,
                                     std::memory_order_relaxed);
  eventWord(words, kStateWord).store(0, std::memory_order_relaxed);
  eventWord(words, kReservedWord).store(0, std::memory_order_relaxed);
  // The magic goes last: until it is there, an opener sees no event rather than half of one.
  eventWord(words, kMagicWord).store(kEventMagic, std::memory_order_release);
  return event;
}

Section createSection(const std::string& name, std::size_t size) {
  return Section(createObject(name, size).release());
}

bool unlinkObject(const std::string& name) noexcept {
  const auto path = shmName(name.c_str());
  return path && shm_unlink(path->c_str()) == 0;
}

}  // namespace mivra::foreground_detection::platform::posix
