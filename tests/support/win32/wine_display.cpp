#include "wine_display.h"

#include <windows.h>

#include <string>

namespace win32_test {

void UseUnmanagedWineWindows() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path(self);
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" +
                           path.substr(path.find_last_of(L"\\/") + 1) + L"\\X11 Driver";
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS) {
    return;
  }
  constexpr wchar_t kNo[] = L"N";
  RegSetValueExW(handle, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNo), sizeof(kNo));
  RegCloseKey(handle);
}

}  // namespace win32_test
