#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "gpucodec_encoder.h"
#include "settings_path.h"

namespace gpucodec {

// The one state of a loaded plug-in. The host calls from one thread (or serialises), so it
// takes no lock.
struct PluginState {
  HMODULE module = nullptr;  // recorded at attach; only for our own file path
  wchar_t settingsPath[kSettingsPathChars] = {};
  std::unique_ptr<CGPUCODECEncoder> encoder;  // present means initialized
  int32_t lastError = 0;
};

PluginState& Plugin();

}  // namespace gpucodec
