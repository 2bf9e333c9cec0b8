#pragma once

#include "camera_probe.h"

#include <gtest/gtest.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

namespace pixora::test {

// Registered devices for the whole suite, a fresh device state and a filter of the
// Pixora Camera for each test.
class CameraDeviceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;

  HRESULT Set(ULONG id, const void* data, ULONG size);
  HRESULT Get(ULONG id, void* data, ULONG size, ULONG* returned = nullptr);
  HRESULT SendPacket(const std::vector<uint8_t>& packet);

  CameraProbe probe_;
  Microsoft::WRL::ComPtr<IBaseFilter> filter_;
  Microsoft::WRL::ComPtr<IKsPropertySet> properties_;
};

Microsoft::WRL::ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid);

// Header followed by `pixelBytes + extra` bytes of a pattern that depends on `seed`.
std::vector<uint8_t> MakePacket(const FrameHeader& header, size_t pixelBytes, size_t extra = 0,
                                uint8_t seed = 1);

}  // namespace pixora::test
