#pragma once

#include <windows.h>

#include <string>

#include "modal_dialog.h"
#include "trackbar_ctrl.h"

namespace gpucodec {

// The settings dialog: preset, target bitrate and low latency, read from the settings file
// when it opens and written back on OK. Runs on the thread that called Configure.
class CGPUCODECConfigurationDlg : public CModalDialog {
 public:
  // settingsPath must outlive the dialog.
  CGPUCODECConfigurationDlg(HINSTANCE resources, HWND parent, const wchar_t* settingsPath);

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void OnHScroll(HWND scrollBar);
  void FormatBitrateLabel();

  const wchar_t* settingsPath_;
  CTrackbarCtrl presetSlider_;
  CTrackbarCtrl bitrateSlider_;
  std::wstring bitrateLabel_;
  int lowLatency_ = 0;
};

}  // namespace gpucodec
