#pragma once

#include <windows.h>

namespace gpucodec {

// Runs the settings dialog modally over parent, on the settings file that Init named.
void RunSettingsDialog(HWND parent, const wchar_t* settingsPath);

}  // namespace gpucodec
