#pragma once

#include <windows.h>

namespace pixora {

// Live objects and server locks of this DLL, for DllCanUnloadNow. Any thread (atomic).
void ModuleAddRef();
void ModuleRelease();
bool ModuleCanUnload();

void SetModuleInstance(HMODULE module);
HMODULE ModuleInstance();

}  // namespace pixora
