#include "settings_dialog.h"

namespace gpucodec {

void RunSettingsDialog(HWND /*parent*/, const wchar_t* /*settingsPath*/) {
  // TODO(settings dialog): construct CGPUCODECConfigurationDlg over parent, run it modally
  // and destroy it; it reads and writes through encoder_settings.h. Until then Configure
  // shows nothing and answers S_OK.
}

}  // namespace gpucodec
