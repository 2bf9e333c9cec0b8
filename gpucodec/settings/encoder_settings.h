#pragma once

#include <cstdint>

namespace gpucodec {

// The six integers of section "AVC" in the settings file, with their defaults.
struct EncoderSettings {
  int32_t device = 0;
  int32_t preset = 1;            // 0 speed, 1 balanced, 2 quality
  int32_t targetBitrate = 5000;  // kilobits per second
  int32_t profile = 0;           // 0 = the preset's, 66, 77 or 100
  int32_t asyncMode = 1;
  int32_t lowLatency = 1;
};

inline constexpr wchar_t kSettingsSection[] = L"AVC";
inline constexpr wchar_t kDeviceKey[] = L"Device";
inline constexpr wchar_t kPresetKey[] = L"Preset";
inline constexpr wchar_t kTargetBitrateKey[] = L"TargetBitrate";
inline constexpr wchar_t kProfileKey[] = L"Profile";
inline constexpr wchar_t kAsyncModeKey[] = L"AsyncMode";
inline constexpr wchar_t kLowLatencyKey[] = L"LowLatency";

// The dialog's bitrate slider: 1 to 130 steps of 1000 kilobits per second.
inline constexpr int32_t kKilobitsPerBitrateStep = 1000;
inline constexpr int32_t kMinBitrateSteps = 1;
inline constexpr int32_t kMaxBitrateSteps = 130;

// "TargetBitrate" as a session uses it: the file is edited by hand too, so a value outside
// the dialog's range (negative, zero, or large enough to overflow in bits per second) is
// brought to its nearer end.
int32_t SessionTargetBitrate(int32_t storedKbps);

// Reads one key with the private-profile integer read; a missing key or file gives fallback.
int32_t ReadSetting(const wchar_t* path, const wchar_t* key, int32_t fallback);

// Reads all six, fresh from the file.
EncoderSettings ReadEncoderSettings(const wchar_t* path);

// Writes one key as decimal text.
void WriteSetting(const wchar_t* path, const wchar_t* key, int32_t value);

}  // namespace gpucodec
