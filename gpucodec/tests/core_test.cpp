// The platform-free parts: start codes to length prefixes, the decoder configuration record,
// the error names and the settings path rule.

#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

#include "avc_config.h"
#include "error_names.h"
#include "gpucodec.h"
#include "length_prefix.h"
#include "settings_path.h"

namespace gpucodec {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Convert(const Bytes& output) {
  GPUCODEC_ENCODED_FRAME frame;
  ConvertToLengthPrefixed(output.data(), output.size(), frame);
  return Bytes(frame.buffer.get(), frame.buffer.get() + frame.size);
}

TEST(LengthPrefix, ReplacesEachStartCodeWithTheUnitsLength) {
  const Bytes seven = {0x67, 1, 2, 3, 4, 5, 6};
  const Bytes five = {0x68, 9, 8, 7, 6};
  const Bytes expected = {0, 0, 0, 7, 0x67, 1, 2, 3, 4, 5, 6, 0, 0, 0, 5, 0x68, 9, 8, 7, 6};
  struct Case {
    const char* name;
    Bytes output;
    Bytes expected;
  };
  const Case cases[] = {
      {"two 4-byte codes", {0, 0, 0, 1, 0x67, 1, 2, 3, 4, 5, 6, 0, 0, 0, 1, 0x68, 9, 8, 7, 6}, expected},
      {"4-byte then 3-byte", {0, 0, 0, 1, 0x67, 1, 2, 3, 4, 5, 6, 0, 0, 1, 0x68, 9, 8, 7, 6}, expected},
      {"3-byte code alone", {0, 0, 1}, {}},
      {"shorter than a code", {0, 0}, {}},
      {"no start code", {1, 2, 3, 4, 5}, {}},
      {"leading bytes dropped", {9, 9, 0, 0, 1, 0x65, 7}, {0, 0, 0, 2, 0x65, 7}},
      {"empty unit dropped", {0, 0, 0, 1, 0, 0, 0, 1, 0x41, 5}, {0, 0, 0, 2, 0x41, 5}},
      {"code at the very end ends the unit", {0, 0, 1, 0x41, 5, 0, 0, 0, 1}, {0, 0, 0, 2, 0x41, 5}},
      {"3-byte code in the last three bytes stays data", {0, 0, 1, 0x41, 0, 0, 1},
       {0, 0, 0, 4, 0x41, 0, 0, 1}},
  };
  for (const Case& c : cases) EXPECT_EQ(Convert(c.output), c.expected) << c.name;
}

TEST(LengthPrefix, GrowsPastItsFirstCapacity) {
  // Forty 3-byte codes each grow by one byte, past the 32 spare bytes.
  Bytes output;
  Bytes expected;
  for (int i = 0; i < 40; ++i) {
    output.insert(output.end(), {0, 0, 1, 0x41, static_cast<uint8_t>(i + 1)});
    expected.insert(expected.end(), {0, 0, 0, 2, 0x41, static_cast<uint8_t>(i + 1)});
  }
  EXPECT_EQ(Convert(output), expected);
}

Bytes SequencePayload(size_t spsLength, size_t ppsLength) {
  Bytes payload = {0, 0, 0, 1};
  for (size_t i = 0; i < spsLength; ++i) payload.push_back(static_cast<uint8_t>(0x67 + i));
  payload.insert(payload.end(), {0, 0, 0, 1});
  for (size_t i = 0; i < ppsLength; ++i) payload.push_back(static_cast<uint8_t>(0x68 + i));
  return payload;
}

TEST(AvcDecoderConfig, RecordFromSpsAndPps) {
  const Bytes payload = SequencePayload(25, 4);
  uint8_t record[kAvcConfigCapacity];
  uint32_t size = 0;
  ASSERT_EQ(BuildAvcDecoderConfig(payload.data(), static_cast<uint32_t>(payload.size()), record, size), 0);
  ASSERT_EQ(size, 40u);
  const Bytes head(record, record + 8);
  EXPECT_EQ(head, (Bytes{1, 0x68, 0x69, 0x6A, 0xFF, 0xE1, 0x00, 0x19}));
  EXPECT_EQ(Bytes(record + 8, record + 33), Bytes(payload.begin() + 4, payload.begin() + 29));
  EXPECT_EQ(Bytes(record + 33, record + 36), (Bytes{1, 0, 4}));
  EXPECT_EQ(Bytes(record + 36, record + 40), Bytes(payload.end() - 4, payload.end()));
}

TEST(AvcDecoderConfig, RefusesPayloadsItCannotDescribe) {
  struct Case {
    const char* name;
    Bytes payload;
  };
  Bytes noPps = SequencePayload(25, 0);
  noPps.resize(noPps.size() - 4);
  const Case cases[] = {
      {"no second start code", noPps},
      {"second code in the last four bytes", SequencePayload(25, 0)},
      {"SPS too short for profile and level", SequencePayload(3, 4)},
      {"record beyond 256 bytes", SequencePayload(200, 50)},
      {"empty", {}},
  };
  for (const Case& c : cases) {
    uint8_t record[kAvcConfigCapacity] = {};
    uint32_t size = 77;
    EXPECT_EQ(BuildAvcDecoderConfig(c.payload.data(), static_cast<uint32_t>(c.payload.size()),
                                    record, size),
              GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS)
        << c.name;
    EXPECT_EQ(size, 77u) << c.name;
  }
}

TEST(ErrorNames, TableAndUnknown) {
  const struct {
    int32_t code;
    const wchar_t* name;
  } cases[] = {
      {0, L"GPUCODEC_ERR_NONE"},
      {-1, L"GPUCODEC_ERR_UNKNOWN"},
      {-19, L"GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS"},
      {-25, L"GPUCODEC_ERR_BUSY"},
      {-30, L"GPUCODEC_ERR_API_GPUCODECODEAPIGETMAXSUPPORTEDVERSION_NOT_FOUND"},
      {-31, L"UNKNOWN"},
      {-40, L"UNKNOWN"},
      {1, L"UNKNOWN"},
      {INT32_MIN, L"UNKNOWN"},
  };
  for (const auto& c : cases) EXPECT_STREQ(ErrorName(c.code), c.name) << c.code;
}

TEST(SettingsPath, BesideTheModule) {
  const struct {
    const wchar_t* module;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\p\\enc.dll", L"C:\\p\\enc.cfg"},
      {L"C:\\p.d\\enc", L"C:\\p.d\\enc.cfg"},
      {L"C:\\p\\enc.x.dll", L"C:\\p\\enc.x.cfg"},
  };
  for (const auto& c : cases) {
    wchar_t out[kSettingsPathChars] = {};
    ASSERT_TRUE(SettingsPathBesideModule(c.module, out));
    EXPECT_STREQ(out, c.expected);
  }
}

TEST(SettingsPath, TooLongLeavesThePreviousPath) {
  wchar_t out[kSettingsPathChars] = L"C:\\before.cfg";
  const std::wstring fits(259, L'a');
  const std::wstring tooLong(260, L'a');
  EXPECT_FALSE(CopySettingsPath(tooLong.c_str(), out));
  EXPECT_STREQ(out, L"C:\\before.cfg");
  EXPECT_TRUE(CopySettingsPath(fits.c_str(), out));
  EXPECT_EQ(std::wcslen(out), 259u);
  // ".cfg" on a 257-character stem needs 262 characters.
  const std::wstring longModule = std::wstring(257, L'b') + L".dll";
  EXPECT_FALSE(SettingsPathBesideModule(longModule.c_str(), out));
  EXPECT_EQ(std::wcslen(out), 259u);
}

}  // namespace
}  // namespace gpucodec
