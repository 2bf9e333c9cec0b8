#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "aes_cbc.h"
#include "decipher.h"
#include "embedded_resources.h"
#include "engine_context.h"
#include "frame_geometry.h"
#include "network_key.h"
#include "temp_file.h"

// The worker's own pieces of engine set-up and segmentation, in process. This program embeds
// the network whose mask is frame byte 0.
namespace mivra::foreground_detection::openvino {
namespace {

namespace fs = std::filesystem;

TEST(EmbeddedResources, PathsAreNormalisedBeforeLookup) {
  const struct {
    const char* path;
    const char* normal;
  } cases[] = {{"inference_engine/graph", "inference_engine/graph"},
               {"/inference_engine/graph", "inference_engine/graph"},
               {"inference_engine/graph/", "inference_engine/graph"},
               {"inference_engine//graph", "inference_engine/graph"},
               {"//inference_engine///graph//", "inference_engine/graph"},
               {"/", ""},
               {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(EmbeddedResources::normalise(c.path), c.normal) << c.path;
  const auto& resources = EmbeddedResources::instance();
  const auto plain = resources.open("inference_engine/weights");
  EXPECT_FALSE(plain.empty());
  for (const char* variant : {"/inference_engine/weights", "inference_engine/weights/", "inference_engine//weights"})
    EXPECT_EQ(resources.open(variant).data(), plain.data()) << variant;
}

TEST(EmbeddedResources, DirectoriesAndUnknownPathsAreMissingFiles) {
  for (const char* path : {"inference_engine", "/inference_engine/", "inference_engine/model", "graph", ""}) {
    try {
      EmbeddedResources::instance().open(path);
      ADD_FAILURE() << path << " opened";
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory) << path;
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

TEST(DecipherResource, GivesThePlaintextOrNothing) {
  const std::vector<uint8_t> plain = {'<', 'n', 'e', 't', '>', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const auto& key = vextra::embed::kNetworkKey;
  const auto& iv = vextra::embed::kNetworkIv;
  const std::vector<uint8_t> sealed = vextra::embed::encipher(plain, key, iv);
  EXPECT_EQ(decipherResource(sealed.data(), sealed.size(), key.data(), iv.data()), plain);

  std::array<uint8_t, 32> otherKey = key;
  otherKey[0] ^= 1;
  EXPECT_TRUE(decipherResource(sealed.data(), sealed.size(), otherKey.data(), iv.data()).empty());
  EXPECT_TRUE(decipherResource(sealed.data(), sealed.size() - 1, key.data(), iv.data()).empty()) << "truncated";
  EXPECT_TRUE(decipherResource(sealed.data(), 0, key.data(), iv.data()).empty()) << "empty";
}

struct TempDir {
  fs::path path = fs::temp_directory_path() / ("segworker-units-" + std::to_string(::getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
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

TEST(TempFile, AFailingRandomDeviceFallsBackToTheClock) {
  std::mt19937 fallback = seededNameGenerator([]() -> uint32_t { throw std::runtime_error("no entropy"); });
  std::mt19937 device = seededNameGenerator([] { return 5u; });
  std::seed_seq five{5u};
  EXPECT_EQ(device, std::mt19937(five));
  EXPECT_EQ(drawTempName(fallback).size(), 32u);
}

TEST(MaskByte, RoundsAndClampsTheProbability) {
  const struct {
    float in;
    int out;
  } cases[] = {{0.0f, 0},     {1.0f, 255},  {0.5f, 128},  {0.999f, 255}, {0.998f, 254}, {1.0f / 255, 1},
               {1.004f, 255}, {7.0f, 255},  {-0.001f, 0}, {-3.0f, 0},    {0.0019f, 0},  {0.002f, 1},
               {std::numeric_limits<float>::quiet_NaN(), 0}, {std::numeric_limits<float>::infinity(), 255}};
  for (const auto& c : cases) EXPECT_EQ(maskByte(c.in), c.out) << c.in;
}

// One engine for the context tests: the embedded network gives frame byte 0 as the mask.
const Engine& firstByteEngine() {
  static const std::unique_ptr<Engine> engine = createEngine(0);
  return *engine;
}

TEST(EngineContext, ReadsTheNetworkShapeAndWritesRowsAtTheMaskStride) {
  ASSERT_NE(&firstByteEngine(), nullptr);
  const NetworkInfo& info = firstByteEngine().info;
  EXPECT_EQ(info.inputName, "input");
  EXPECT_EQ(info.outputName, "scaled") << "the layer that feeds the result";
  EXPECT_EQ(info.inputWidth, 256u);
  EXPECT_EQ(info.inputHeight, 144u);
  EXPECT_EQ(info.outputWidth, 256u);
  EXPECT_EQ(info.outputHeight, 144u);

  const auto context = createContext(firstByteEngine());
  ASSERT_TRUE(context);
  std::vector<uint8_t> frame(kFrameBytes);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i % 4 == 0 ? (i / 4) * 7 : 0xee);
  constexpr uint32_t stride = 300;
  std::vector<uint8_t> mask(stride * kFrameHeight, 0xcc);
  ASSERT_TRUE(context->segment(frame.data(), kFrameStride, mask.data(), stride));
  for (uint32_t r = 0; r < kFrameHeight; ++r)
    for (uint32_t c = 0; c < stride; ++c) {
      const int expected = c < kFrameWidth ? frame[(r * kFrameWidth + c) * 4] : 0xcc;
      ASSERT_EQ(mask[r * stride + c], expected) << "row " << r << " column " << c;
    }
}

}  // namespace
}  // namespace mivra::foreground_detection::openvino
