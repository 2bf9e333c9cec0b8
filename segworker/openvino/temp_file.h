#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

namespace mivra::foreground_detection::openvino {

// A new, empty file with a random name in the system's temporary directory, removed when
// this goes. The path is empty when no name could be taken.
class TempFile {
 public:
  static constexpr int kAttempts = 1024;
  static constexpr int kNameLength = 32;

  // Throws std::filesystem::filesystem_error when there is no temporary directory or a
  // name cannot be checked.
  static TempFile create();
  // The same within a given directory and from given names, for tests.
  static TempFile createIn(const std::filesystem::path& directory, std::mt19937& names);

  TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  TempFile& operator=(TempFile&&) = delete;
  TempFile(const TempFile&) = delete;
  ~TempFile();

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  explicit TempFile(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

// 32 letters 'a'..'z'.
std::string drawTempName(std::mt19937& names);

// The system clock's time in 100 ns ticks since 1970.
uint64_t systemClockTicks();

// Seeded with one value of the random device, or with the clock's ticks (low, then high
// word) when drawing from it throws.
std::mt19937 seededNameGenerator(const std::function<uint32_t()>& randomDevice,
                                 const std::function<uint64_t()>& clockTicks = systemClockTicks);

}  // namespace mivra::foreground_detection::openvino
