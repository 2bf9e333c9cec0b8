#include "device_fixture.h"

#include <objbase.h>

#include <cstring>

namespace pixora::test {

using Microsoft::WRL::ComPtr;

void CameraDeviceTest::SetUpTestSuite() {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
}

void CameraDeviceTest::TearDownTestSuite() {
  EXPECT_EQ(UnregisterCameraDevices(), S_OK);
  CoUninitialize();
}

void CameraDeviceTest::SetUp() {
  probe_.Reset();
  filter_ = CreateFilter(CLSID_PixoraCamera);
  ASSERT_TRUE(filter_);
  ASSERT_EQ(filter_.As(&properties_), S_OK);
}

HRESULT CameraDeviceTest::Set(ULONG id, const void* data, ULONG size) {
  return properties_->Set(PROPSETID_PixoraCamera, id, nullptr, 0, const_cast<void*>(data), size);
}

HRESULT CameraDeviceTest::Get(ULONG id, void* data, ULONG size, ULONG* returned) {
  ULONG ignored = 0;
  return properties_->Get(PROPSETID_PixoraCamera, id, nullptr, 0, data, size,
                          returned ? returned : &ignored);
}

HRESULT CameraDeviceTest::SendPacket(const std::vector<uint8_t>& packet) {
  return Set(PIXORA_PROP_FRAME, packet.data(), static_cast<ULONG>(packet.size()));
}

ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid) {
  ComPtr<IBaseFilter> filter;
  const HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter));
  EXPECT_EQ(hr, S_OK);
  return filter;
}

std::vector<uint8_t> MakePacket(const FrameHeader& header, size_t pixelBytes, size_t extra,
                                uint8_t seed) {
  std::vector<uint8_t> packet(sizeof(header) + pixelBytes + extra);
  std::memcpy(packet.data(), &header, sizeof(header));
  for (size_t i = sizeof(header); i < packet.size(); ++i) {
    packet[i] = static_cast<uint8_t>(i * 7 + seed * 31 + (i >> 8));
  }
  return packet;
}

}  // namespace pixora::test
