#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio_adapter.h"
#include "driver_entry.h"
#include "kernel_standin/device.h"
#include "kernel_standin/faults.h"
#include "kernel_standin/pool.h"
#include "kernel_standin/property_input.h"

// What the driver's tests share: a device started through the stand-in as Windows starts it,
// and property requests sent to its filters as Windows sends them.

inline std::string Hex(NTSTATUS status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

template <typename T>
std::vector<unsigned char> Bytes(const T& value, size_t size = sizeof(T)) {
  std::vector<unsigned char> bytes(size);
  std::memcpy(bytes.data(), &value, size);
  return bytes;
}

// The adapter behind a started device, reached the way Port Class holds it.
inline AudioAdapter* AdapterOf(const kstandin::Device& device) {
  IAdapterPowerManagement* power = device.PowerManagement();
  if (power == nullptr) return nullptr;
  IAudioAdapter* adapter = nullptr;
  if (!NT_SUCCESS(power->QueryInterface(IID_IAudioAdapter, reinterpret_cast<PVOID*>(&adapter)))) return nullptr;
  adapter->Release();  // the registration keeps it alive
  return static_cast<AudioAdapter*>(adapter);
}

// A unit's reference count, read without changing it.
inline ULONG References(IUnknown* unknown) {
  const ULONG count = unknown->AddRef() - 1;
  unknown->Release();
  return count;
}

struct Reply {
  NTSTATUS status;
  ULONG size;
  std::vector<unsigned char> value;  // the caller's value buffer afterwards
};

// One property request; the value buffer starts as `value` (zeros when shorter).
inline Reply Send(kstandin::Subdevice& filter, const kstandin::PropertyInput& input, ULONG valueSize,
                  const std::vector<unsigned char>& value = {}) {
  std::vector<unsigned char> buffer(valueSize);
  std::copy_n(value.begin(), std::min<size_t>(value.size(), valueSize), buffer.begin());
  const kstandin::PropertyResult result =
      filter.Property(input.data(), input.size(), valueSize ? buffer.data() : nullptr, valueSize);
  return {result.status, result.valueSize, buffer};
}

// A started device; removal at the end must leave nothing behind.
class StartedDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kstandin::ClearPoolFaults();
    kstandin::ClearCallFaults();
    ASSERT_EQ(Hex(device_.Start()), Hex(STATUS_SUCCESS));
    adapter_ = AdapterOf(device_);
    topology_ = device_.FindSubdevice(u"Topology");
    ASSERT_NE(adapter_, nullptr);
    ASSERT_NE(topology_, nullptr);
  }
  void TearDown() override {
    const kstandin::RemovalReport report = device_.Remove();
    EXPECT_TRUE(report.Clean()) << report.Text();
  }

  kstandin::Device device_{DriverEntry};
  AudioAdapter* adapter_ = nullptr;
  kstandin::Subdevice* topology_ = nullptr;
};
