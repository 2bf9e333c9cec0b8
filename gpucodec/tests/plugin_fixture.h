#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gpucodec.h"
#include "probe.h"

namespace gpucodec_test {

// The folder of this program, where the plug-in and nvcuda.dll sit.
std::wstring RunFolder();

// Chooses which encode library stand-in the plug-in finds: "driver", "driver-noversion",
// "driver-nocreate" or "driver-none" (no library at all).
void UseDriverFolder(const wchar_t* folder);

// A moving, textured NV12 picture, packed as the host passes it.
std::vector<uint8_t> PatternFrame(uint32_t width, uint32_t height, uint32_t index);

struct Encoded {
  uint32_t keyFrame;
  uint64_t timestamp;
  std::vector<uint8_t> bytes;
};

// A plug-in initialised on a settings file of the test's own, with the plain driver.
// Tear-down drains and releases every frame, uninitialises and checks that the stand-ins
// hold nothing alive.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the settings (key, value) into the test's settings file.
  void WriteSettings(std::initializer_list<std::pair<const wchar_t*, int>> settings);
  HRESULT Start(uint32_t width, uint32_t height, uint32_t frameRate = 30);
  HRESULT EncodePattern(uint32_t width, uint32_t height, uint32_t index, uint64_t timestamp);
  std::vector<Encoded> Drain();
  std::wstring LastErrorName();
  std::wstring Description();

  nvstandin::NvidiaProbe probe_;
  std::wstring settingsPath_;
};

}  // namespace gpucodec_test
