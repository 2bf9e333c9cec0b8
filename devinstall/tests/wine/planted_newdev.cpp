// A "newdev.dll" planted beside a copy of the installer: it marks that it was loaded by
// creating "<its own path>.loaded", and installs nothing.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(instance, path, MAX_PATH) != 0) {
      const HANDLE mark = CreateFileW((std::wstring(path) + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    }
  }
  return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR, LPCWSTR, DWORD,
                                                                                 PBOOL reboot) {
  if (reboot) *reboot = FALSE;
  return TRUE;
}
