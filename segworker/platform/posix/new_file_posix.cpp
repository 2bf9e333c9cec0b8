#include "new_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace mivra::foreground_detection::platform {

bool createNewFile(const std::filesystem::path& path) noexcept {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace mivra::foreground_detection::platform
