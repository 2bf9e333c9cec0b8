#include <gtest/gtest.h>

#include "standin_config.h"

namespace nvstandin {
namespace {

TEST(StandinConfig, NothingConfiguredIsThePlainDriver) {
  const StandinConfig config = ParseStandinConfig("");
  ASSERT_EQ(config.devices.size(), 1u);
  EXPECT_GE(config.devices[0].major * 16 + config.devices[0].minor, 0x30);
  EXPECT_EQ(config.maxVersion, 0x70u);
  EXPECT_TRUE(config.failures.empty());
  EXPECT_FALSE(config.needMoreInput);
  EXPECT_LT(config.completionDelayMs, 25u);
  EXPECT_EQ(config.hangPicture, 0u);
  EXPECT_EQ(config.sequence, SequencePayload::kValid);
}

TEST(StandinConfig, ReadsEveryItem) {
  const StandinConfig config = ParseStandinConfig(
      "devices=Old Card@2.1,New@7.5;maxversion=6.2;fail=cuInit:3,nvEncLockBitstream:8@4;"
      "needmoreinput=1;delay=40;hang=3;tiny=1;sequence=nopps;unknown=1;devices");
  ASSERT_EQ(config.devices.size(), 2u);
  EXPECT_EQ(config.devices[0].name, "Old Card");
  EXPECT_EQ(config.devices[0].major, 2);
  EXPECT_EQ(config.devices[1].minor, 5);
  EXPECT_EQ(config.maxVersion, 0x62u);
  EXPECT_EQ(config.FailureFor("cuInit", 1), 3);
  EXPECT_EQ(config.FailureFor("cuInit", 9), 3);
  EXPECT_EQ(config.FailureFor("nvEncLockBitstream", 3), 0);
  EXPECT_EQ(config.FailureFor("nvEncLockBitstream", 4), 8);
  EXPECT_EQ(config.FailureFor("cuDeviceGet", 1), 0);
  EXPECT_TRUE(config.needMoreInput);
  EXPECT_EQ(config.completionDelayMs, 40u);
  EXPECT_EQ(config.hangPicture, 3u);
  EXPECT_TRUE(config.tinyPictures);
  EXPECT_EQ(config.sequence, SequencePayload::kWithoutPps);
  EXPECT_TRUE(ParseStandinConfig("devices=").devices.empty());
}

}  // namespace
}  // namespace nvstandin
