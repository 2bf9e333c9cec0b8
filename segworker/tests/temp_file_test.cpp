#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "new_file.h"
#include "temp_file.h"

// The temporary plug-in file's naming and exclusive creation, natively and under Wine.
namespace mivra::foreground_detection::openvino {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path =
      fs::temp_directory_path() / ("segworker-temp-file-" + std::to_string(std::random_device()()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

TEST(TempFile, TakesTheNextNameWhenOneIsTakenAndIsRemovedAtTheEnd) {
  TempDir dir;
  std::mt19937 names(42), same(42);
  const std::string first = drawTempName(same), second = drawTempName(same);
  ASSERT_EQ(first.size(), 32u);
  EXPECT_EQ(first.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  std::ofstream(dir.path / first) << "taken";
  fs::path made;
  {
    const TempFile file = TempFile::createIn(dir.path, names);
    made = file.path();
    EXPECT_EQ(made, dir.path / second);
    EXPECT_TRUE(fs::exists(made));
    EXPECT_EQ(fs::file_size(made), 0u);
    EXPECT_EQ(fs::file_size(dir.path / first), 5u) << "the taken file is left as it was";
  }
  EXPECT_FALSE(fs::exists(made));
}

TEST(TempFile, GivesAnEmptyPathAfterAllAttemptsFail) {
  TempDir dir;
  std::mt19937 preview(9);
  for (int i = 0; i < TempFile::kAttempts; ++i) std::ofstream(dir.path / drawTempName(preview));
  std::mt19937 names(9);
  const TempFile file = TempFile::createIn(dir.path, names);
  EXPECT_TRUE(file.path().empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), TempFile::kAttempts);
}

// The file is created with the platform's exclusive create: a name taken between the
// existence check and the creation is refused, and what is there stays as it was.
TEST(TempFile, CreationIsExclusive) {
  TempDir dir;
  const fs::path taken = dir.path / "taken";
  std::ofstream(taken) << "kept";
  EXPECT_FALSE(platform::createNewFile(taken));
  EXPECT_EQ(fs::file_size(taken), 4u);
  EXPECT_FALSE(platform::createNewFile(dir.path)) << "a directory";
  EXPECT_FALSE(platform::createNewFile(dir.path / "missing" / "file")) << "no such directory";
  const fs::path fresh = dir.path / "fresh";
  EXPECT_TRUE(platform::createNewFile(fresh));
  EXPECT_EQ(fs::file_size(fresh), 0u);
}

TEST(TempFile, NamesComeFromTheRandomDeviceOrElseTheClock) {
  std::seed_seq five{5u};
  EXPECT_EQ(seededNameGenerator([] { return 5u; }), std::mt19937(five));

  const auto noEntropy = []() -> uint32_t { throw std::runtime_error("no entropy"); };
  std::seed_seq clock{0x89abcdefu, 0x01234567u};  // low word, then high word
  EXPECT_EQ(seededNameGenerator(noEntropy, [] { return uint64_t{0x0123456789abcdef}; }),
            std::mt19937(clock));

  // The clock counts 100 ns ticks since 1970.
  const uint64_t before = uint64_t(std::time(nullptr)) * 10'000'000;
  const uint64_t ticks = systemClockTicks();
  EXPECT_GE(ticks + 10'000'000, before);
  EXPECT_LE(ticks, before + 20'000'000);
}

}  // namespace
}  // namespace mivra::foreground_detection::openvino
