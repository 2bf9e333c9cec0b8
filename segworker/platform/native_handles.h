#pragma once

#include <cstdint>

namespace mivra::foreground_detection::platform {

// What an open event and an open section are made of on this platform, and how each is
// released. The holders in named_objects.h are written once over these.
#ifdef _WIN32
struct EventTraits {
  using Native = void*;  // HANDLE
  static constexpr Native invalid() noexcept { return nullptr; }
  static void close(Native handle) noexcept;
};
struct SectionTraits {
  using Native = void*;  // HANDLE
  static constexpr Native invalid() noexcept { return nullptr; }
  static void close(Native handle) noexcept;
};
#else
struct EventTraits {
  using Native = std::uint32_t*;  // the event's four words, mapped shared
  static constexpr Native invalid() noexcept { return nullptr; }
  static void close(Native words) noexcept;
};
struct SectionTraits {
  using Native = int;  // the shared-memory object's descriptor, kept for fstat and mmap
  static constexpr Native invalid() noexcept { return -1; }
  static void close(Native fd) noexcept;
};
#endif

}  // namespace mivra::foreground_detection::platform
