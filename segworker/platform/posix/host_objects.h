#pragma once

#include "named_objects.h"

#include <cstddef>
#include <string>

// The host's side of the named objects: creating them in the layout the worker opens, and
// removing their names. Failures throw std::system_error naming the call.
namespace mivra::foreground_detection::platform::posix {

enum class EventReset { manual, automatic };

// A new, not signalled event. Fails if the name is taken, so a stale object of another
// layout is never reused.
Event createEvent(const std::string& name, EventReset reset);

// A new section of exactly `size` zero bytes, open for reading and writing.
Section createSection(const std::string& name, std::size_t size);

// Removes the name; objects already open stay usable. False when there was none.
bool unlinkObject(const std::string& name) noexcept;

// Removes the name when it goes out of scope.
class ObjectName {
 public:
  explicit ObjectName(std::string name) : name_(std::move(name)) {}
  ObjectName(const ObjectName&) = delete;
  ObjectName& operator=(const ObjectName&) = delete;
  ~ObjectName() { unlinkObject(name_); }

  const std::string& str() const noexcept { return name_; }
  const char* c_str() const noexcept { return name_.c_str(); }

 private:
  std::string name_;
};

}  // namespace mivra::foreground_detection::platform::posix
