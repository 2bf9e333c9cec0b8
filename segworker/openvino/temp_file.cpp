#include "temp_file.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <system_error>

namespace mivra::foreground_detection::openvino {

namespace fs = std::filesystem;

namespace {

// Exclusive creation: a file that appears between the check and the creation is not
// truncated, it only costs a name.
bool createEmptyFile(const fs::path& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wbx"), &std::fclose);
  return file != nullptr;
}

}  // namespace

std::string drawTempName(std::mt19937& names) {
  std::uniform_int_distribution<int> letter(0, 25);
  std::string name(TempFile::kNameLength, 'a');
  for (char& c : name) c = char('a' + letter(names));
  return name;
}

std::mt19937 seededNameGenerator(const std::function<uint32_t()>& randomDevice) {
  try {
    std::seed_seq seed{randomDevice()};
    return std::mt19937(seed);
  } catch (...) {
    const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    const uint64_t ticks = uint64_t(std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>>(since1970).count());
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
    if (!fs::exists(candidate) && createEmptyFile(candidate)) return TempFile(std::move(candidate));
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
