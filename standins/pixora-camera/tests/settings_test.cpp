#include "device_fixture.h"

#include <vfwmsgs.h>

#include <cstring>
#include <functional>
#include <vector>

namespace pixora::test {
namespace {

using kernels::PixelType;

constexpr GUID kOtherSet = {0x1F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
constexpr HRESULT kMoreData = HRESULT_FROM_WIN32(ERROR_MORE_DATA);
constexpr HRESULT kShortBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

void ExpectDefaults(const CameraSettings& settings) {
  EXPECT_EQ(settings.outputFormat.width, 1280);
  EXPECT_EQ(settings.outputFormat.height, 720);
  EXPECT_EQ(settings.outputFormat.fps, 30);
  EXPECT_EQ(settings.fillMode, PIXORA_FILL_ASPECT_FIT);
  EXPECT_EQ(settings.mirror, 0);
  EXPECT_EQ(settings.flip, 0);
}

std::vector<uint8_t> Bytes(std::initializer_list<int32_t> values) {
  std::vector<uint8_t> bytes(values.size() * 4);
  std::memcpy(bytes.data(), values.begin(), bytes.size());
  return bytes;
}

TEST_F(CameraDeviceTest, QuerySupportedAnswersPerProperty) {
  const struct {
    GUID set;
    ULONG id;
    HRESULT hr;
    DWORD support;
  } cases[] = {
      {PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, S_OK, PIXORA_KSPROPERTY_SUPPORT_SET},
      {PROPSETID_PixoraCamera, PIXORA_PROP_OUTPUT_FORMAT, S_OK,
       PIXORA_KSPROPERTY_SUPPORT_SET | PIXORA_KSPROPERTY_SUPPORT_GET},
      {PROPSETID_PixoraCamera, PIXORA_PROP_FILL_MODE, S_OK,
       PIXORA_KSPROPERTY_SUPPORT_SET | PIXORA_KSPROPERTY_SUPPORT_GET},
      {PROPSETID_PixoraCamera, PIXORA_PROP_MIRROR, S_OK, PIXORA_KSPROPERTY_SUPPORT_SET},
      {PROPSETID_PixoraCamera, PIXORA_PROP_FLIP, S_OK, PIXORA_KSPROPERTY_SUPPORT_SET},
      {PROPSETID_PixoraCamera, 2, E_PROP_ID_UNSUPPORTED, 0},
      {PROPSETID_PixoraCamera, 8, E_PROP_ID_UNSUPPORTED, 0},
      {kOtherSet, PIXORA_PROP_FRAME, E_PROP_SET_UNSUPPORTED, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id);
    DWORD support = 0xFFFF;
    EXPECT_EQ(properties_->QuerySupported(c.set, c.id, &support), c.hr);
    EXPECT_EQ(support, c.support);
  }
  EXPECT_EQ(properties_->QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, nullptr),
            E_POINTER);
}

TEST_F(CameraDeviceTest, DefaultsReadBack) {
  OutputFormat format = {};
  ULONG returned = 0;
  ASSERT_EQ(Get(PIXORA_PROP_OUTPUT_FORMAT, &format, sizeof(format), &returned), S_OK);
  EXPECT_EQ(returned, sizeof(format));
  EXPECT_EQ(format.width, 1280);
  EXPECT_EQ(format.height, 720);
  EXPECT_EQ(format.fps, 30);

  int32_t mode = -1;
  ASSERT_EQ(Get(PIXORA_PROP_FILL_MODE, &mode, sizeof(mode), &returned), S_OK);
  EXPECT_EQ(returned, sizeof(mode));
  EXPECT_EQ(mode, PIXORA_FILL_ASPECT_FIT);
  ExpectDefaults(probe_.Settings());
}

TEST_F(CameraDeviceTest, AcceptedSettingsReadBackAndAreRecorded) {
  const OutputFormat wanted = {1920, 1080, 60};
  const int32_t stretch = PIXORA_FILL_STRETCH, on = 1, flipValue = 7;
  ASSERT_EQ(Set(PIXORA_PROP_OUTPUT_FORMAT, &wanted, sizeof(wanted)), S_OK);
  ASSERT_EQ(Set(PIXORA_PROP_FILL_MODE, &stretch, sizeof(stretch)), S_OK);
  ASSERT_EQ(Set(PIXORA_PROP_MIRROR, &on, sizeof(on)), S_OK);
  ASSERT_EQ(Set(PIXORA_PROP_FLIP, &flipValue, sizeof(flipValue)), S_OK);

  OutputFormat format = {};
  int32_t mode = -1;
  ASSERT_EQ(Get(PIXORA_PROP_OUTPUT_FORMAT, &format, sizeof(format)), S_OK);
  ASSERT_EQ(Get(PIXORA_PROP_FILL_MODE, &mode, sizeof(mode)), S_OK);
  EXPECT_EQ(format.width, 1920);
  EXPECT_EQ(format.height, 1080);
  EXPECT_EQ(format.fps, 60);
  EXPECT_EQ(mode, PIXORA_FILL_STRETCH);

  const CameraSettings settings = probe_.Settings();
  EXPECT_EQ(settings.outputFormat.width, 1920);
  EXPECT_EQ(settings.fillMode, PIXORA_FILL_STRETCH);
  EXPECT_EQ(settings.mirror, 1);
  EXPECT_EQ(settings.flip, 7);
  for (ULONG id : {1u, 5u, 6u, 7u}) {
    EXPECT_EQ(settings.calls[id].setAccepted, 1u) << "id " << id;
    EXPECT_EQ(settings.calls[id].setRefused, 0u) << "id " << id;
  }
  EXPECT_EQ(settings.calls[1].getAccepted, 1u);
  EXPECT_EQ(settings.calls[5].getAccepted, 1u);
}

TEST_F(CameraDeviceTest, SettingsBelongToTheDeviceNotToOneFilter) {
  const int32_t fill = PIXORA_FILL_ASPECT_FILL;
  ASSERT_EQ(Set(PIXORA_PROP_FILL_MODE, &fill, sizeof(fill)), S_OK);
  properties_.Reset();
  filter_.Reset();

  Microsoft::WRL::ComPtr<IKsPropertySet> other;
  ASSERT_EQ(CreateFilter(CLSID_PixoraCamera).As(&other), S_OK);
  int32_t mode = -1;
  ULONG returned = 0;
  ASSERT_EQ(other->Get(PROPSETID_PixoraCamera, PIXORA_PROP_FILL_MODE, nullptr, 0, &mode,
                       sizeof(mode), &returned),
            S_OK);
  EXPECT_EQ(mode, PIXORA_FILL_ASPECT_FILL);
}

TEST_F(CameraDeviceTest, RefusedSettingsKeepNothing) {
  const struct {
    const char* name;
    GUID set;
    ULONG id;
    std::vector<uint8_t> payload;
    bool nullData;
    HRESULT hr;
  } cases[] = {
      {"format width 0", PROPSETID_PixoraCamera, 1, Bytes({0, 720, 30}), false, E_INVALIDARG},
      {"format height -1", PROPSETID_PixoraCamera, 1, Bytes({1280, -1, 30}), false, E_INVALIDARG},
      {"format fps 0", PROPSETID_PixoraCamera, 1, Bytes({1280, 720, 0}), false, E_INVALIDARG},
      {"format 8 bytes", PROPSETID_PixoraCamera, 1, Bytes({640, 480}), false, E_INVALIDARG},
      {"format null", PROPSETID_PixoraCamera, 1, Bytes({640, 480, 25}), true, E_INVALIDARG},
      {"fill -1", PROPSETID_PixoraCamera, 5, Bytes({-1}), false, E_INVALIDARG},
      {"fill 3", PROPSETID_PixoraCamera, 5, Bytes({3}), false, E_INVALIDARG},
      {"fill 2 bytes", PROPSETID_PixoraCamera, 5, {2, 0}, false, E_INVALIDARG},
      {"mirror empty", PROPSETID_PixoraCamera, 6, {}, false, E_INVALIDARG},
      {"flip null", PROPSETID_PixoraCamera, 7, Bytes({1}), true, E_INVALIDARG},
      {"unknown id 2", PROPSETID_PixoraCamera, 2, Bytes({1}), false, E_PROP_ID_UNSUPPORTED},
      {"unknown id 9", PROPSETID_PixoraCamera, 9, Bytes({1}), false, E_PROP_ID_UNSUPPORTED},
      {"other set", kOtherSet, 6, Bytes({1}), false, E_PROP_SET_UNSUPPORTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    probe_.Reset();
    void* data = c.nullData ? nullptr : const_cast<uint8_t*>(c.payload.data());
    EXPECT_EQ(properties_->Set(c.set, c.id, nullptr, 0, data, static_cast<ULONG>(c.payload.size())),
              c.hr);
    const CameraSettings settings = probe_.Settings();
    ExpectDefaults(settings);
    const bool counted = c.set == PROPSETID_PixoraCamera && c.id < kProbePropertySlots;
    if (counted) {
      EXPECT_EQ(settings.calls[c.id].setRefused, 1u);
    }
    for (const auto& calls : settings.calls) EXPECT_EQ(calls.setAccepted, 0u);
  }
}

TEST_F(CameraDeviceTest, GetAnswersBufferSizesAsAKernelStreamingDriver) {
  const struct {
    const char* name;
    GUID set;
    ULONG id;
    ULONG size;
    bool nullData;
    HRESULT hr;
    ULONG returned;
  } cases[] = {
      {"format size query", PROPSETID_PixoraCamera, 1, 0, true, kMoreData, 12},
      {"format 8 bytes", PROPSETID_PixoraCamera, 1, 8, false, kShortBuffer, 0},
      {"format 16 bytes", PROPSETID_PixoraCamera, 1, 16, false, S_OK, 12},
      {"fill size query", PROPSETID_PixoraCamera, 5, 0, false, kMoreData, 4},
      {"fill 3 bytes", PROPSETID_PixoraCamera, 5, 3, false, kShortBuffer, 0},
      {"frame is set-only", PROPSETID_PixoraCamera, 0, 16, false, E_PROP_ID_UNSUPPORTED, 0},
      {"mirror is set-only", PROPSETID_PixoraCamera, 6, 4, false, E_PROP_ID_UNSUPPORTED, 0},
      {"unknown id", PROPSETID_PixoraCamera, 3, 4, false, E_PROP_ID_UNSUPPORTED, 0},
      {"other set", kOtherSet, 1, 12, false, E_PROP_SET_UNSUPPORTED, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t buffer[16] = {};
    ULONG returned = 99;
    EXPECT_EQ(properties_->Get(c.set, c.id, nullptr, 0, c.nullData ? nullptr : buffer, c.size,
                               &returned),
              c.hr);
    EXPECT_EQ(returned, c.returned);
  }
}

TEST_F(CameraDeviceTest, InjectedFailureHitsTheNextCallOnlyAndChangesNothing) {
  constexpr HRESULT kInjected = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
  const int32_t fill = PIXORA_FILL_STRETCH;
  const std::vector<uint8_t> frame = MakePacket({PixelType::RGB32, 2, 2, 8}, 16);
  const struct {
    const char* name;
    std::function<HRESULT()> call;
  } cases[] = {
      {"Set fill", [&] { return Set(PIXORA_PROP_FILL_MODE, &fill, sizeof(fill)); }},
      {"Set frame", [&] { return SendPacket(frame); }},
      {"Get format",
       [&] {
         OutputFormat format{};
         return Get(PIXORA_PROP_OUTPUT_FORMAT, &format, sizeof(format));
       }},
      {"QuerySupported",
       [&] {
         DWORD support = 0;
         return properties_->QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, &support);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    probe_.Reset();
    probe_.FailNextCall(kInjected);
    EXPECT_EQ(c.call(), kInjected);
    const CameraSettings settings = probe_.Settings();
    ExpectDefaults(settings);
    for (const auto& calls : settings.calls) {
      EXPECT_EQ(calls.setAccepted + calls.setRefused + calls.getAccepted + calls.getRefused, 0u);
    }
    EXPECT_EQ(probe_.FrameCount(), 0u);
    EXPECT_EQ(c.call(), S_OK);
  }
}

}  // namespace
}  // namespace pixora::test
