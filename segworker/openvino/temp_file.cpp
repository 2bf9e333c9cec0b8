#include "temp_file.h"

#include <chrono>
#include <system_error>

#include "new_file.h"

namespace mivra::foreground_detection::openvino {

namespace fs = std::filesystem;

std::string drawTempName(std::mt19937& names) {
  std::uniform_int_distribution<int> letter(0, 25);
  std::string name(TempFile::kNameLength, 'a');
  for (char& c : name) c = char('a' + letter(names));
  return name;
}

uint64_t systemClockTicks() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
  const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
  return uint64_t(std::chrono::duration_cast<Ticks>(since1970).count());
}

std::mt19937 seededNameGenerator(const std::function<uint32_t()>& randomDevice,
                                 const std::function<uint64_t()>& clockTicks) {
  try {
    std::seed_seq seed{randomDevice()};
    return std::mt19937(seed);
  } catch (...) {
    const uint64_t ticks = clockTicks();
    std::seed_seq seed{uint32_t(ticks), uint32_t(ticks >> 32)};
    return std::mt19937(seed);
  }
}

TempFile TempFile::create() {
  const fs::path directory = fs::temp_directory_path();
  std::mt19937 names = seededNameGenerator([] { return std::random_device()(); });
  return createIn(directory, names);
}

TempFile TempFile::createIn(const fs::path& directory, std::mt19937& names) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    fs::path candidate = directory / drawTempName(names);
    // Created exclusively: a file that appears after the check only costs a name.
    if (!fs::exists(candidate) && platform::createNewFile(candidate)) return TempFile(std::move(candidate));
  }
  return TempFile(fs::path());
}

TempFile::~TempFile() {
  if (path_.empty()) return;
  // A file that cannot be removed is a harmless 28-byte leftover; set-up does not fail for it.
  std::error_code ignored;
  fs::remove(path_, ignored);
}

}  // namespace mivra::foreground_detection::openvino
