#include "named_objects.h"

#include <windows.h>

#include <array>

namespace mivra::foreground_detection::platform {
namespace {

DWORD eventRights(EventAccess access) {
  DWORD rights = 0;
  if ((static_cast<unsigned>(access) & static_cast<unsigned>(EventAccess::wait)) != 0)
    rights |= SYNCHRONIZE;
  if ((static_cast<unsigned>(access) & static_cast<unsigned>(EventAccess::modify)) != 0)
    rights |= EVENT_MODIFY_STATE;
  return rights;
}

DWORD sectionRights(SectionAccess access) {
  return access == SectionAccess::read ? FILE_MAP_READ : FILE_MAP_WRITE;
}

void* mapView(const Section& section, SectionAccess access, std::size_t length) {
  // A length of 0 would map the whole section, which is not what a caller of L bytes means.
  if (!section || length == 0) return nullptr;
  return MapViewOfFile(section.native(), sectionRights(access), 0, 0, length);
}

}  // namespace

void EventTraits::close(Native handle) noexcept { CloseHandle(handle); }
void SectionTraits::close(Native handle) noexcept { CloseHandle(handle); }

void unmapView(const void* address, std::size_t) noexcept { UnmapViewOfFile(address); }

void Event::set() noexcept {
  if (*this) SetEvent(native());
}

void Event::reset() noexcept {
  if (*this) ResetEvent(native());
}

Event openEvent(const char* name, EventAccess access) noexcept {
  return Event(OpenEventA(eventRights(access), FALSE, name));
}

Section openSection(const char* name, SectionAccess access) noexcept {
  return Section(OpenFileMappingA(sectionRights(access), FALSE, name));
}

ReadView mapReadView(const Section& section, std::size_t length) noexcept {
  void* address = mapView(section, SectionAccess::read, length);
  return address ? ReadView(static_cast<const std::byte*>(address), length) : ReadView();
}

WriteView mapWriteView(const Section& section, std::size_t length) noexcept {
  void* address = mapView(section, SectionAccess::write, length);
  return address ? WriteView(static_cast<std::byte*>(address), length) : WriteView();
}

std::optional<std::size_t> waitForAny(std::span<Event* const> events) noexcept {
  const std::size_t count = events.size();
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS) return std::nullopt;
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles{};
  for (std::size_t i = 0; i < count; ++i) {
    if (events[i] == nullptr || !*events[i]) return std::nullopt;
    handles[i] = events[i]->native();
  }
  const DWORD result =
      WaitForMultipleObjects(static_cast<DWORD>(count), handles.data(), FALSE, INFINITE);
  if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) return result - WAIT_OBJECT_0;
  return std::nullopt;
}

}  // namespace mivra::foreground_detection::platform
