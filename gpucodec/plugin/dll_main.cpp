#include <windows.h>

#include "plugin_state.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    gpucodec::Plugin().module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
