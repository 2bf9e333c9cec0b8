#include "new_file.h"

#include <windows.h>

namespace mivra::foreground_detection::platform {

bool createNewFile(const std::filesystem::path& path) noexcept {
  // The path's native form is wide here; CREATE_NEW fails when the name is taken.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace mivra::foreground_detection::platform
