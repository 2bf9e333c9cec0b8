// Class ids, names and device paths under which the camera stand-in registers its devices.
#pragma once

#include <windows.h>

namespace pixora {

// The device that takes the camera property set.
inline constexpr CLSID CLSID_PixoraCamera = {
    0x5A0C7E31, 0x9B42, 0x4C1D, {0x8E, 0x61, 0x2F, 0x4B, 0x7D, 0x90, 0xA3, 0x01}};
// A capture device that offers IKsPropertySet without the camera property set.
inline constexpr CLSID CLSID_PixoraCameraLite = {
    0x5A0C7E31, 0x9B42, 0x4C1D, {0x8E, 0x61, 0x2F, 0x4B, 0x7D, 0x90, 0xA3, 0x02}};

inline constexpr wchar_t kPixoraCameraName[] = L"Pixora Camera";
inline constexpr wchar_t kPixoraCameraLiteName[] = L"Pixora Camera Lite";

inline constexpr wchar_t kPixoraCameraInstance[] = L"PixoraCamera";
inline constexpr wchar_t kPixoraCameraLiteInstance[] = L"PixoraCameraLite";

inline constexpr wchar_t kPixoraCameraDevicePath[] =
    L"\\\\?\\root#image#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\pixora";
inline constexpr wchar_t kPixoraCameraLiteDevicePath[] =
    L"\\\\?\\root#image#0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\pixoralite";

}  // namespace pixora
