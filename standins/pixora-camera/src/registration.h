#pragma once

#include <windows.h>

namespace pixora {

// Registers both devices (class keys and video-capture category instances); the class keys
// point at `module`. The calling thread must be in a COM apartment.
HRESULT RegisterCameraServer(HMODULE module);
// Removes everything RegisterCameraServer wrote; S_OK also when nothing was registered.
HRESULT UnregisterCameraServer();

}  // namespace pixora
