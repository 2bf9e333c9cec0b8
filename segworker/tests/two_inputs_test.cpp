#include <gtest/gtest.h>

#include <vector>

#include "engine_context.h"
#include "frame_geometry.h"

// Engine set-up with a network of two inputs, in process. This program embeds a network
// whose inputs are "b_hint" (1, 1, 1, 1), declared first, and "a_frame" (1, 144, 256, 4),
// first by name, whose byte 0 is the mask.
namespace mivra::foreground_detection::openvino {
namespace {

namespace ie = InferenceEngine;

TEST(TwoInputs, BothAreEightBitAndOnlyTheFirstByNameIsDescribed) {
  const std::unique_ptr<Engine> engine = createEngine(0);
  ASSERT_TRUE(engine);
  const ie::ConstInputsDataMap inputs = engine->network.GetInputsInfo();
  ASSERT_EQ(inputs.size(), 2u);
  for (const auto& [name, input] : inputs) EXPECT_EQ(input->getPrecision(), ie::Precision::U8) << name;

  const NetworkInfo& info = engine->info;
  EXPECT_EQ(info.inputName, "a_frame");
  EXPECT_EQ(info.inputWidth, 256u);
  EXPECT_EQ(info.inputHeight, 144u);

  // The frame input is the one packed: the mask is its byte 0.
  const auto context = createContext(*engine);
  ASSERT_TRUE(context);
  std::vector<uint8_t> frame(kFrameBytes);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i % 4 == 0 ? i / 4 : 0x33);
  std::vector<uint8_t> mask(kMaskBytes);
  ASSERT_TRUE(context->segment(frame.data(), kFrameStride, mask.data(), kMaskStride));
  for (size_t k = 0; k < mask.size(); ++k) ASSERT_EQ(mask[k], uint8_t(k)) << "pixel " << k;
}

}  // namespace
}  // namespace mivra::foreground_detection::openvino
