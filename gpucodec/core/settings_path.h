#pragma once

#include <cstddef>

namespace gpucodec {

constexpr size_t kSettingsPathChars = 260;

// Copies path into out when it fits with its terminator; otherwise leaves out as it was and
// answers false.
bool CopySettingsPath(const wchar_t* path, wchar_t (&out)[kSettingsPathChars]);

// The settings file beside the plug-in: its own path with the extension replaced by ".cfg"
// (added when the file name has none). Leaves out alone and answers false when that does
// not fit.
bool SettingsPathBesideModule(const wchar_t* modulePath, wchar_t (&out)[kSettingsPathChars]);

}  // namespace gpucodec
