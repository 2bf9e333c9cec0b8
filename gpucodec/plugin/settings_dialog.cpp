#include "settings_dialog.h"

#include <commctrl.h>

#include "gpucodec_configuration_dlg.h"
#include "plugin_state.h"

namespace gpucodec {

void RunSettingsDialog(HWND parent, const wchar_t* settingsPath) {
  // The trackbar's window class must exist before the dialog creates its controls.
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  CGPUCODECConfigurationDlg dialog(Plugin().module, parent, settingsPath);
  dialog.DoModal();
}

}  // namespace gpucodec
