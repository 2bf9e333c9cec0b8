// Test-side view of the camera stand-in: what the device received, failure injection, and
// registration of its two devices.
#pragma once

#include "pixora_camera_ids.h"
#include "pixora_camera_props.h"
#include "probe_layout.h"
#include "probe_section.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pixora {

// Reads and steers the device's probe section. Any thread; every call takes the section's
// named mutex, so each answer is one consistent state of the device.
class CameraProbe {
 public:
  CameraProbe() = default;  // throws std::system_error when the section cannot be opened

  CameraSettings Settings();
  uint64_t FrameCount();
  // Records of the last min(n, 64, FrameCount()) accepted frames, oldest first.
  std::vector<FrameRecord> LastFrames(size_t n);
  // Header and announced pixels of the last accepted frame; empty when there is none.
  std::vector<uint8_t> LastPacket();
  // The device's next IKsPropertySet call, whatever the method, returns hr and does nothing.
  void FailNextCall(HRESULT hr);
  // Benchmarks: keep only frame headers, so the device adds no per-pixel work.
  void RecordHeadersOnly(bool on);
  // Defaults (1280×720 at 30, "Aspect Fit", mirror and flip off), no frames, no counts,
  // no pending failure.
  void Reset();

 private:
  CProbeSection section_;
};

// The stand-in DLL's path as Windows sees it.
std::wstring CameraDllPath();
// Load the DLL and call its DllRegisterServer / DllUnregisterServer (the latter also
// leaves the machine with no camera device).
HRESULT RegisterCameraDevices();
HRESULT UnregisterCameraDevices();

}  // namespace pixora
