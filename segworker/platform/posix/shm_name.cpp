#include "shm_name.h"

#include <climits>
#include <cstring>

namespace mivra::foreground_detection::platform::posix {

std::optional<std::string> shmName(const char* name) {
  if (name == nullptr) return std::nullopt;
  const std::size_t length = std::strlen(name);
  // "/N" is one path component under the shared-memory directory, so N obeys its limits.
  if (length == 0 || length > NAME_MAX || std::strchr(name, '/') != nullptr) return std::nullopt;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return std::nullopt;
  return std::string("/") + name;
}

}  // namespace mivra::foreground_detection::platform::posix
