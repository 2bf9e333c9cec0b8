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
  const auto& key = kNetworkKey;
  const auto& iv = kNetworkIv;
  const std::vector<uint8_t> sealed = vextra::embed::encipher(plain, key, iv);
  EXPECT_EQ(decipherResource(sealed.data(), sealed.size(), key.data(), iv.data()), plain);

  std::array<uint8_t, 32> otherKey = key;
  otherKey[0] ^= 1;
  EXPECT_TRUE(decipherResource(sealed.data(), sealed.size(), otherKey.data(), iv.data()).empty());
  EXPECT_TRUE(decipherResource(sealed.data(), sealed.size() - 1, key.data(), iv.data()).empty()) << "truncated";
  EXPECT_TRUE(decipherResource(sealed.data(), 0, key.data(), iv.data()).empty()) << "empty";
}

TEST(MaskByte, TruncatesAndClampsTheProbability) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  const struct {
    float in;
    int out;
  } cases[] = {{0.0f, 0},     {1.0f, 255},  {0.5f, 127},  {0.999f, 254}, {0.998f, 254},
               {0.0039f, 0},  {0.004f, 1},  {0.25f, 63},  {1.004f, 255}, {7.0f, 255},
               {-0.001f, 0},  {-3.0f, 0},   {kNaN, 0},    {kInfinity, 255}, {-kInfinity, 0}};
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
