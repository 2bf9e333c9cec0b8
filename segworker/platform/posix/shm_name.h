#pragma once

#include <optional>
#include <string>

namespace mivra::foreground_detection::platform::posix {

// The shared-memory object name "/N" for the object name N, or none when N cannot name one:
// empty, "." or "..", containing '/', or longer than NAME_MAX.
std::optional<std::string> shmName(const char* name);

}  // namespace mivra::foreground_detection::platform::posix
