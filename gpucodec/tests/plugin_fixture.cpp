#include "plugin_fixture.h"

namespace gpucodec_test {

std::wstring RunFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

void UseDriverFolder(const wchar_t* folder) {
  SetDllDirectoryW((RunFolder() + L"\\" + folder).c_str());
}

std::vector<uint8_t> PatternFrame(uint32_t width, uint32_t height, uint32_t index) {
  // A still textured background with a textured block a third of the picture's size that
  // moves a few pixels each frame.
  std::vector<uint8_t> frame(size_t{width} * height + size_t{width} * (height / 2));
  const uint32_t blockWidth = width / 3;
  const uint32_t blockHeight = height / 3;
  const uint32_t left = (7 * index) % (width - blockWidth + 1);
  const uint32_t top = (5 * index) % (height - blockHeight + 1);
  auto inBlock = [&](uint32_t x, uint32_t y) {
    return x >= left && x < left + blockWidth && y >= top && y < top + blockHeight;
  };
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t u = x - left;
      const uint32_t v = y - top;
      frame[size_t{y} * width + x] = inBlock(x, y)
                                         ? static_cast<uint8_t>(((u / 4 + v / 4) & 1) * 160 + u + 2 * v)
                                         : static_cast<uint8_t>((x * 7) ^ (y * 13) ^ (x * y >> 5));
    }
  }
  uint8_t* chroma = frame.data() + size_t{width} * height;
  for (uint32_t y = 0; y < height / 2; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      chroma[size_t{y} * width + x] = inBlock(x, 2 * y) ? static_cast<uint8_t>((x & 1) ? 40 + y : 200 - x / 2)
                                                        : static_cast<uint8_t>((x & 1) ? 128 + (y & 15) : 100 + (x & 31));
    }
  }
  return frame;
}

void PluginTest::SetUp() {
  probe_.Reset();
  nvstandin::NvidiaProbe::Configure("");
  UseDriverFolder(L"driver");
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  settingsPath_ = std::wstring(temp) + L"gpucodec-test-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
  DeleteFileW(settingsPath_.c_str());
  ASSERT_EQ(Init(settingsPath_.c_str()), 0);
}

void PluginTest::TearDown() {
  StopEncoding(0);
  Drain();
  EXPECT_EQ(Uninit(), 0);
  DeleteFileW(settingsPath_.c_str());
  const nvstandin::StandinRecord& record = probe_.Record();
  EXPECT_EQ(record.liveContexts, 0);
  EXPECT_EQ(record.liveSessions, 0);
  EXPECT_EQ(record.liveInputBuffers, 0);
  EXPECT_EQ(record.liveBitstreamBuffers, 0);
  EXPECT_EQ(record.liveEvents, 0);
  EXPECT_EQ(GetModuleHandleW(L"nvEncodeAPI.dll"), nullptr) << "encode library still loaded";
  nvstandin::NvidiaProbe::Configure("");
}

void PluginTest::WriteSettings(std::initializer_list<std::pair<const wchar_t*, int>> settings) {
  for (const auto& [key, value] : settings) {
    WritePrivateProfileStringW(L"AVC", key, std::to_wstring(value).c_str(), settingsPath_.c_str());
  }
}

HRESULT PluginTest::Start(uint32_t width, uint32_t height, uint32_t frameRate) {
  EncoderVideoFrame format = {};
  format.fourcc = GPUCODEC_FOURCC_NV12;
  format.width = width;
  format.height = height;
  format.frameRate = frameRate;
  return StartEncoding(0, &format);
}

HRESULT PluginTest::EncodePattern(uint32_t width, uint32_t height, uint32_t index,
                                  uint64_t timestamp) {
  const std::vector<uint8_t> pixels = PatternFrame(width, height, index);
  EncoderVideoFrame frame = {};
  frame.fourcc = GPUCODEC_FOURCC_NV12;
  frame.width = width;
  frame.height = height;
  frame.timestamp = timestamp;
  frame.pixels = pixels.data();
  return Encode(0, &frame);
}

std::vector<Encoded> PluginTest::Drain() {
  std::vector<Encoded> frames;
  EncodedFrameInfo info = {};
  while (GetFrame(0, &info) == S_OK) {
    frames.push_back({info.keyFrame, info.timestamp, {info.bytes, info.bytes + info.size}});
    EXPECT_EQ(info.timestampAgain, info.timestamp);
    EXPECT_EQ(ReleaseFrame(0, &info), S_OK);
  }
  return frames;
}

std::wstring PluginTest::LastErrorName() {
  wchar_t text[260] = {};
  EncoderStatRequest request = {0, GPUCODEC_STAT_LAST_ERROR_NAME, text, 260};
  EXPECT_EQ(GetEncoderStat(0, &request), S_OK);
  return text;
}

std::wstring PluginTest::Description() {
  wchar_t text[260] = {};
  EncoderStatRequest request = {0, GPUCODEC_STAT_DESCRIPTION, text, 260};
  EXPECT_EQ(GetEncoderStat(0, &request), S_OK);
  return text;
}

}  // namespace gpucodec_test
