// The fourteen exports: their checks in order, their results and the module state.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gpucodec.h"
#include "plugin_fixture.h"

namespace gpucodec_test {
namespace {

// Runs first, in a process where nothing has initialised the plug-in yet.
TEST(ExportsBeforeInit, AnswerUnexpectedOrNothing) {
  UseDriverFolder(L"driver");
  EXPECT_EQ(Uninit(), 1);
  EncoderVideoFrame frame = {};
  frame.fourcc = GPUCODEC_FOURCC_NV12;
  EncodedFrameInfo info = {};
  wchar_t text[16] = {};
  EncoderStatRequest request = {0, GPUCODEC_STAT_LAST_ERROR_NAME, text, 16};
  EXPECT_EQ(StartEncoding(0, &frame), E_UNEXPECTED);
  EXPECT_EQ(Encode(0, &frame), E_UNEXPECTED);
  EXPECT_EQ(GetFrame(0, &info), E_UNEXPECTED);
  EXPECT_EQ(ReleaseFrame(0, &info), E_UNEXPECTED);
  EXPECT_EQ(GetEncoderStat(0, &request), E_UNEXPECTED);
  EXPECT_EQ(StopEncoding(0), E_UNEXPECTED);
  EXPECT_EQ(GetHeader(0), nullptr);
  EXPECT_EQ(GetHeaderSize(0), 0u);
  // These need no Init.
  EXPECT_EQ(GetEncodersNum(), 1);
  EXPECT_EQ(Configure(1, nullptr), E_INVALIDARG);  // Configure(0, …) opens the dialog: its own test
  EXPECT_EQ(CheckAccelerationSupport(), 3u);
}

TEST(ExportsBeforeInit, FirstInitStartsWithoutError) {
  const std::wstring path = RunFolder() + L"\\first-init.ini";
  ASSERT_EQ(Init(path.c_str()), 0);
  wchar_t text[64] = {};
  EncoderStatRequest request = {0, GPUCODEC_STAT_LAST_ERROR_NAME, text, 64};
  EXPECT_EQ(GetEncoderStat(0, &request), S_OK);
  EXPECT_STREQ(text, L"GPUCODEC_ERR_NONE");
  request.selector = GPUCODEC_STAT_DESCRIPTION;
  EXPECT_EQ(GetEncoderStat(0, &request), S_OK);
  EXPECT_STREQ(text, L"");
  EXPECT_EQ(GetHeaderSize(0), 0u);
  EXPECT_EQ(Init(path.c_str()), 1);
  EXPECT_EQ(Uninit(), 0);
  EXPECT_EQ(Uninit(), 1);
  EncoderVideoFrame format = {};
  EXPECT_EQ(StartEncoding(0, &format), E_UNEXPECTED);
}

TEST(GetEncoderCaps, FillsTheTabledWordsAndNothingElse) {
  uint8_t caps[320];
  std::memset(caps, 0xEE, sizeof(caps));
  ASSERT_EQ(GetEncoderCaps(0, reinterpret_cast<EncoderCaps*>(caps)), S_OK);
  auto word = [&](size_t offset) {
    uint32_t value;
    std::memcpy(&value, caps + offset, 4);
    return value;
  };
  EXPECT_EQ(word(0), 0x00020000u);
  EXPECT_EQ(word(4), 12u);
  EXPECT_EQ(word(8), 1u);
  EXPECT_EQ(std::memcmp(caps + 12, "NV12", 4), 0);
  for (size_t i = 16; i < 28; ++i) EXPECT_EQ(caps[i], 0xEE) << "byte " << i;
  EXPECT_EQ(std::memcmp(caps + 28, "AVC ", 4), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(caps + 32), "NVIDIA GPUCODEC H.264");
  EXPECT_EQ(word(292), 1u);
  for (size_t i = 296; i < sizeof(caps); ++i) EXPECT_EQ(caps[i], 0xEE) << "byte " << i;
}

TEST(GetEncoderCaps, PointerBeforeIndexAndWrongIndexTouchesNothing) {
  EXPECT_EQ(GetEncoderCaps(1, nullptr), E_POINTER);
  EXPECT_EQ(GetEncoderCaps(0, nullptr), E_POINTER);
  uint8_t caps[296];
  std::memset(caps, 0xEE, sizeof(caps));
  EXPECT_EQ(GetEncoderCaps(1, reinterpret_cast<EncoderCaps*>(caps)), E_INVALIDARG);
  for (uint8_t byte : caps) ASSERT_EQ(byte, 0xEE);
}

TEST(CheckAccelerationSupport, ByDriverVersionAndEntryPoints) {
  const struct {
    const wchar_t* folder;
    const char* config;
    uint32_t expected;
  } cases[] = {
      {L"driver", "", 3},
      {L"driver", "maxversion=6.0", 3},
      {L"driver", "maxversion=6.5", 3},
      {L"driver", "maxversion=6.1", 3},
      {L"driver", "maxversion=5.0", 1},
      {L"driver", "maxversion=5.15", 1},  // 0x5F: below 6.0 as major x 16 + minor
      {L"driver", "fail=NvEncodeAPIGetMaxSupportedVersion:20", 1},
      {L"driver-none", "", 1},
      {L"driver-noversion", "", 1},
      {L"driver-nocreate", "", 3},
  };
  for (const auto& c : cases) {
    UseDriverFolder(c.folder);
    nvstandin::NvidiaProbe::Configure(c.config);
    EXPECT_EQ(CheckAccelerationSupport(), c.expected) << c.config;
    EXPECT_EQ(GetModuleHandleW(L"nvEncodeAPI.dll"), nullptr) << "library kept loaded";
  }
  nvstandin::NvidiaProbe::Configure("");
  UseDriverFolder(L"driver");
}

using Exports = PluginTest;

TEST_F(Exports, ChecksInOrder) {
  EncoderVideoFrame frame = {};
  frame.fourcc = GPUCODEC_FOURCC_NV12;
  EncodedFrameInfo info = {};
  EXPECT_EQ(StartEncoding(1, nullptr), E_POINTER);
  EXPECT_EQ(StartEncoding(1, &frame), E_INVALIDARG);
  EXPECT_EQ(Encode(1, nullptr), E_POINTER);
  EXPECT_EQ(Encode(1, &frame), E_INVALIDARG);
  EXPECT_EQ(GetFrame(1, nullptr), E_POINTER);
  EXPECT_EQ(GetFrame(1, &info), E_INVALIDARG);
  EXPECT_EQ(ReleaseFrame(1, &info), E_POINTER);  // a zero handle before the index
  EXPECT_EQ(StopEncoding(1), E_INVALIDARG);
  EXPECT_EQ(GetHeader(1), nullptr);
  EXPECT_EQ(GetHeaderSize(1), 0u);
  wchar_t text[8];
  EncoderStatRequest request = {0, 0, nullptr, 8};
  EXPECT_EQ(GetEncoderStat(1, nullptr), E_POINTER);
  EXPECT_EQ(GetEncoderStat(1, &request), E_POINTER);
  request.buffer = text;
  EXPECT_EQ(GetEncoderStat(1, &request), E_INVALIDARG);
  request.selector = 2;
  EXPECT_EQ(GetEncoderStat(0, &request), E_INVALIDARG);
}

TEST_F(Exports, EncodeBeforeStartIsBusyAndOtherFormatsKeepTheLastError) {
  EXPECT_EQ(EncodePattern(64, 64, 0, 0), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_BUSY");
  const std::vector<uint8_t> pixels = PatternFrame(64, 64, 0);
  EncoderVideoFrame frame = {};
  frame.fourcc = 0x32315659;  // "YV12"
  frame.width = 64;
  frame.height = 64;
  frame.pixels = pixels.data();
  EXPECT_EQ(Encode(0, &frame), E_INVALIDARG);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_BUSY");
  frame.fourcc = GPUCODEC_FOURCC_NV12;
  frame.pixels = nullptr;
  EXPECT_EQ(Encode(0, &frame), E_POINTER);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_BUSY");
  EXPECT_EQ(StopEncoding(0), S_OK);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_NONE");
}

TEST_F(Exports, EmptyQueueClearsTheRecordButItsFirstWord) {
  EncodedFrameInfo info;
  std::memset(&info, 0xEE, sizeof(info));
  EXPECT_EQ(GetFrame(0, &info), S_FALSE);
  EXPECT_EQ(info.notTouched, 0xEEEEEEEEu);
  EXPECT_EQ(info.keyFrame, 0u);
  EXPECT_EQ(info.timestamp, 0u);
  EXPECT_EQ(info.timestampAgain, 0u);
  EXPECT_EQ(info.bytes, nullptr);
  EXPECT_EQ(info.size, 0u);
  EXPECT_EQ(info.handle, nullptr);
  info.handle = nullptr;
  EXPECT_EQ(ReleaseFrame(0, &info), E_POINTER);
}

TEST_F(Exports, ReleaseFrameRefusesAHandleItDoesNotHold) {
  WriteSettings({{L"AsyncMode", 0}});
  ASSERT_EQ(Start(64, 64), S_OK);
  ASSERT_EQ(EncodePattern(64, 64, 0, 1), S_OK);
  ASSERT_EQ(EncodePattern(64, 64, 1, 2), S_OK);
  EncodedFrameInfo first = {};
  EncodedFrameInfo second = {};
  ASSERT_EQ(GetFrame(0, &first), S_OK);
  ASSERT_EQ(GetFrame(0, &second), S_OK);
  const EncodedFrameInfo copy = first;
  ASSERT_EQ(ReleaseFrame(0, &first), S_OK);

  int notAFrame = 0;
  EncodedFrameInfo stranger = copy;
  stranger.handle = &notAFrame;
  for (EncodedFrameInfo refused : {copy, stranger}) {
    const EncodedFrameInfo before = refused;
    EXPECT_EQ(ReleaseFrame(0, &refused), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&refused, &before, sizeof(before)), 0) << "the record was changed";
  }
  // The frame still held is untouched and is released as usual.
  EXPECT_EQ(second.timestamp, 2u);
  EXPECT_EQ(second.bytes[0], 0);  // a length prefix
  EXPECT_EQ(ReleaseFrame(0, &second), S_OK);
  EXPECT_EQ(second.handle, nullptr);
}

TEST_F(Exports, StatTextIsCutToTheCapacityAndTerminated) {
  wchar_t text[8];
  std::wmemset(text, L'#', 8);
  EncoderStatRequest request = {0, GPUCODEC_STAT_LAST_ERROR_NAME, text, 5};
  EXPECT_EQ(GetEncoderStat(0, &request), S_OK);
  EXPECT_STREQ(text, L"GPUC");
  EXPECT_EQ(text[5], L'#');
  request.capacity = 0;
  text[0] = L'#';
  EXPECT_EQ(GetEncoderStat(0, &request), S_OK);
  EXPECT_EQ(text[0], L'#');
}

TEST_F(Exports, SettingsAreReadAtEveryStart) {
  WriteSettings({{L"Device", 1}});
  EXPECT_EQ(Start(64, 64), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_INVALID_DEVICE");
  WriteSettings({{L"Device", 0}});
  EXPECT_EQ(Start(64, 64), S_OK);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_NONE");
}

TEST_F(Exports, InitWithoutPathUsesTheCfgBesideThePlugin) {
  const std::wstring beside = RunFolder() + L"\\gpucodec.cfg";
  WritePrivateProfileStringW(L"AVC", L"Device", L"3", beside.c_str());
  EXPECT_EQ(Init(nullptr), 1);  // the encoder exists; the path is replaced all the same
  EXPECT_EQ(Start(64, 64), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_INVALID_DEVICE");
  DeleteFileW(beside.c_str());
  EXPECT_EQ(Start(64, 64), S_OK);
}

TEST_F(Exports, TooLongPathKeepsThePreviousOne) {
  WriteSettings({{L"Device", 2}});
  const std::wstring tooLong = L"C:\\" + std::wstring(300, L'x') + L".ini";
  EXPECT_EQ(Init(tooLong.c_str()), 1);
  EXPECT_EQ(Start(64, 64), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_INVALID_DEVICE");
}

}  // namespace
}  // namespace gpucodec_test
