// End to end through the exports: 60 frames of a moving, textured pattern, written with the
// decoder configuration record into an MP4 beside this program, and beside it what a decoder
// must give back (key-frame flag, timestamp, Adler-32 of each NV12 picture as ffmpeg's
// framecrc computes it). gpucodec_e2e_decode decodes them natively.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gpucodec.h"
#include "mp4_writer.h"
#include "plugin_fixture.h"

namespace gpucodec_test {
namespace {

constexpr uint32_t kFrames = 60;
constexpr uint32_t kTimescale = 90000;

// ffmpeg's framecrc starts its Adler-32 sums at 0.
uint32_t FramecrcAdler(const std::vector<uint8_t>& bytes) {
  uint32_t a = 0;
  uint32_t b = 0;
  for (uint8_t byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct Recording {
  uint32_t width;
  uint32_t height;
  bool async;
};

class EndToEnd : public PluginTest, public ::testing::WithParamInterface<Recording> {};

TEST_P(EndToEnd, EncodesWhatFfmpegDecodesBack) {
  const auto [width, height, async] = GetParam();
  // Pictures take a card some milliseconds; the last ones are still being encoded at the stop.
  nvstandin::NvidiaProbe::Configure("delay=30");
  WriteSettings({{L"AsyncMode", async ? 1 : 0}});
  ASSERT_EQ(Start(width, height, 30), S_OK);
  std::vector<Mp4Sample> samples;
  std::string expected = "h264," + std::to_string(width) + "," + std::to_string(height) + "\n";
  for (uint32_t i = 0; i < kFrames; ++i) {
    // Uneven steps, so that passing timestamps through is seen.
    const uint64_t timestamp = uint64_t{i} * 3000 + (i % 3) * 11;
    const std::vector<uint8_t> picture = PatternFrame(width, height, i);
    EncoderVideoFrame frame = {};
    frame.fourcc = GPUCODEC_FOURCC_NV12;
    frame.width = width;
    frame.height = height;
    frame.timestamp = timestamp;
    frame.pixels = picture.data();
    ASSERT_EQ(Encode(0, &frame), S_OK) << i;
    char line[64];
    std::snprintf(line, sizeof(line), "%d,%llu,0x%08x\n", i == 0 ? 1 : 0,
                  static_cast<unsigned long long>(timestamp), FramecrcAdler(picture));
    expected += line;
    for (Encoded& out : Drain()) samples.push_back({std::move(out.bytes), out.timestamp, out.keyFrame == 1});
  }
  // Stopped right after the last frame: every picture still being encoded is waited for.
  ASSERT_EQ(StopEncoding(0), S_OK);
  for (Encoded& out : Drain()) samples.push_back({std::move(out.bytes), out.timestamp, out.keyFrame == 1});
  ASSERT_EQ(samples.size(), kFrames);

  const std::vector<uint8_t> header(GetHeader(0), GetHeader(0) + GetHeaderSize(0));
  const std::string base = Narrow(RunFolder()) + "\\e2e-" + std::to_string(width) + "x" +
                           std::to_string(height) + (async ? "" : "-sync");
  ASSERT_TRUE(WriteMp4(base + ".mp4", width, height, kTimescale, header, samples));
  FILE* file = std::fopen((base + ".expected").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs(expected.c_str(), file);
  std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(Recordings, EndToEnd,
                         ::testing::Values(Recording{640, 480, true}, Recording{640, 480, false},
                                           Recording{1920, 1080, true}));

}  // namespace
}  // namespace gpucodec_test
