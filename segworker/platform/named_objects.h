#pragma once

#include "native_handles.h"

#include <cstddef>
#include <optional>
#include <span>
#include <utility>

// The worker's view of the host's named objects: events to wait on and set, sections to map
// per request. Every call reports failure the way the Win32 calls it stands for do (an empty
// holder, a null view, no index); none throws.
namespace mivra::foreground_detection::platform {

template <typename Traits>
class UniqueNative {
 public:
  using Native = typename Traits::Native;

  UniqueNative() = default;
  explicit UniqueNative(Native native) noexcept : native_(native) {}
  UniqueNative(UniqueNative&& other) noexcept
      : native_(std::exchange(other.native_, Traits::invalid())) {}
  UniqueNative& operator=(UniqueNative&& other) noexcept {
    UniqueNative taken(std::move(other));
    std::swap(native_, taken.native_);
    return *this;
  }
  ~UniqueNative() {
    if (native_ != Traits::invalid()) Traits::close(native_);
  }

  Native get() const noexcept { return native_; }
  Native release() noexcept { return std::exchange(native_, Traits::invalid()); }
  explicit operator bool() const noexcept { return native_ != Traits::invalid(); }

 private:
  Native native_ = Traits::invalid();
};

// Win32 SYNCHRONIZE and EVENT_MODIFY_STATE. The POSIX side always opens read-write, since
// waiting on an auto-reset event writes its state.
enum class EventAccess : unsigned { wait = 1, modify = 2, waitAndModify = 3 };

enum class SectionAccess { read, write };

// An open named event, or none (operator bool). Closes on destruction.
class Event {
 public:
  Event() = default;
  explicit Event(EventTraits::Native native) noexcept : native_(native) {}

  explicit operator bool() const noexcept { return static_cast<bool>(native_); }
  EventTraits::Native native() const noexcept { return native_.get(); }

  // Results are not looked at by the worker, so none are returned.
  void set() noexcept;
  void reset() noexcept;

 private:
  UniqueNative<EventTraits> native_;
};

// An open named section, or none. Closes on destruction; views outlive it safely.
class Section {
 public:
  Section() = default;
  explicit Section(SectionTraits::Native native) noexcept : native_(native) {}

  explicit operator bool() const noexcept { return static_cast<bool>(native_); }
  SectionTraits::Native native() const noexcept { return native_.get(); }

 private:
  UniqueNative<SectionTraits> native_;
};

void unmapView(const void* address, std::size_t length) noexcept;

// A mapped view of the first size() bytes of a section, or none. Unmaps on destruction.
template <typename Byte>
class View {
 public:
  View() = default;
  View(Byte* data, std::size_t size) noexcept : data_(data), size_(size) {}
  View(View&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  View& operator=(View&& other) noexcept {
    View taken(std::move(other));
    std::swap(data_, taken.data_);
    std::swap(size_, taken.size_);
    return *this;
  }
  ~View() {
    if (data_) unmapView(data_, size_);
  }

  explicit operator bool() const noexcept { return data_ != nullptr; }
  Byte* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }

 private:
  Byte* data_ = nullptr;
  std::size_t size_ = 0;
};

using ReadView = View<const std::byte>;
using WriteView = View<std::byte>;

// Empty when the name does not exist, is not valid here, is not an event or a section,
// or the access is refused.
Event openEvent(const char* name, EventAccess access) noexcept;
Section openSection(const char* name, SectionAccess access) noexcept;

// Views of `length` bytes from offset 0. Null when the section is smaller than that, the
// length is 0, or the section was not opened for the access.
ReadView mapReadView(const Section& section, std::size_t length) noexcept;
WriteView mapWriteView(const Section& section, std::size_t length) noexcept;

// Blocks until one of the events is signalled and returns its index; when several are,
// the lowest index wins. An auto-reset event is consumed only when it is the one returned.
// No index when the wait itself fails (also for no events, an empty one, or more than the
// platform can wait on).
std::optional<std::size_t> waitForAny(std::span<Event* const> events) noexcept;

}  // namespace mivra::foreground_detection::platform
