#include "settings_path.h"

#include <cwchar>

namespace gpucodec {

bool CopySettingsPath(const wchar_t* path, wchar_t (&out)[kSettingsPathChars]) {
  const size_t length = std::wcslen(path);
  if (length >= kSettingsPathChars) return false;
  std::wmemcpy(out, path, length + 1);
  return true;
}

bool SettingsPathBesideModule(const wchar_t* modulePath, wchar_t (&out)[kSettingsPathChars]) {
  size_t stem = std::wcslen(modulePath);
  for (size_t i = stem; i > 0; --i) {
    const wchar_t c = modulePath[i - 1];
    if (c == L'\\' || c == L'/' || c == L':') break;
    if (c == L'.') {
      stem = i - 1;
      break;
    }
  }
  constexpr wchar_t kExtension[] = L".cfg";
  constexpr size_t kExtensionChars = sizeof(kExtension) / sizeof(wchar_t);  // with terminator
  if (stem + kExtensionChars > kSettingsPathChars) return false;
  std::wmemcpy(out, modulePath, stem);
  std::wmemcpy(out + stem, kExtension, kExtensionChars);
  return true;
}

}  // namespace gpucodec
