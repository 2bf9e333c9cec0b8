#include "encoder_settings.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace gpucodec {

int32_t ReadSetting(const wchar_t* path, const wchar_t* key, int32_t fallback) {
  return static_cast<int32_t>(GetPrivateProfileIntW(kSettingsSection, key, fallback, path));
}

int32_t SessionTargetBitrate(int32_t storedKbps) {
  return std::clamp(storedKbps, kMinBitrateSteps * kKilobitsPerBitrateStep,
                    kMaxBitrateSteps * kKilobitsPerBitrateStep);
}

EncoderSettings ReadEncoderSettings(const wchar_t* path) {
  const EncoderSettings defaults;
  EncoderSettings settings;
  settings.device = ReadSetting(path, kDeviceKey, defaults.device);
  settings.preset = ReadSetting(path, kPresetKey, defaults.preset);
  settings.targetBitrate = ReadSetting(path, kTargetBitrateKey, defaults.targetBitrate);
  settings.profile = ReadSetting(path, kProfileKey, defaults.profile);
  settings.asyncMode = ReadSetting(path, kAsyncModeKey, defaults.asyncMode);
  settings.lowLatency = ReadSetting(path, kLowLatencyKey, defaults.lowLatency);
  return settings;
}

void WriteSetting(const wchar_t* path, const wchar_t* key, int32_t value) {
  WritePrivateProfileStringW(kSettingsSection, key, std::to_wstring(value).c_str(), path);
}

}  // namespace gpucodec
