#include "gpucodec_configuration_dlg.h"

#include "dialog_ids.h"
#include "encoder_settings.h"

namespace gpucodec {

CGPUCODECConfigurationDlg::CGPUCODECConfigurationDlg(HINSTANCE resources, HWND parent,
                                                     const wchar_t* settingsPath)
    : CModalDialog(resources, IDD_GPUCODEC_CONFIGURATION, parent), settingsPath_(settingsPath) {}

void CGPUCODECConfigurationDlg::DoDataExchange(CDataExchange& dx) {
  dx.Control(IDC_PRESET_SLIDER, presetSlider_);
  dx.Control(IDC_BITRATE_SLIDER, bitrateSlider_);
  dx.Text(IDC_BITRATE_LABEL, bitrateLabel_);
  dx.Check(IDC_LOW_LATENCY, lowLatency_);
}

BOOL CGPUCODECConfigurationDlg::OnInitDialog() {
  CModalDialog::OnInitDialog();
  presetSlider_.SetRange(0, 2, false);
  bitrateSlider_.SetRange(kMinBitrateSteps, kMaxBitrateSteps, false);

  const EncoderSettings defaults;
  const int preset = ReadSetting(settingsPath_, kPresetKey, defaults.preset);
  const int targetBitrate = ReadSetting(settingsPath_, kTargetBitrateKey, defaults.targetBitrate);
  lowLatency_ = ReadSetting(settingsPath_, kLowLatencyKey, defaults.lowLatency);

  presetSlider_.SetPos(preset);
  bitrateSlider_.SetPos(targetBitrate / kKilobitsPerBitrateStep);
  FormatBitrateLabel();
  UpdateData(false);  // the label, and the box from the flag just read
  return TRUE;
}

void CGPUCODECConfigurationDlg::OnOK() {
  UpdateData(true);
  WriteSetting(settingsPath_, kPresetKey, presetSlider_.GetPos());
  WriteSetting(settingsPath_, kTargetBitrateKey, bitrateSlider_.GetPos() * kKilobitsPerBitrateStep);
  WriteSetting(settingsPath_, kLowLatencyKey, lowLatency_);
  EndDialog(IDOK);
}

bool CGPUCODECConfigurationDlg::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_HSCROLL) OnHScroll(reinterpret_cast<HWND>(lparam));
  return CModalDialog::OnMessage(message, wparam, lparam);
}

void CGPUCODECConfigurationDlg::OnHScroll(HWND scrollBar) {
  if (scrollBar != bitrateSlider_.Handle()) return;
  FormatBitrateLabel();
  // Only the label: a full transfer would also reset the check box to the flag read at
  // start and undo what the user ticked since.
  CDataExchange dx(Handle(), false);
  dx.Text(IDC_BITRATE_LABEL, bitrateLabel_);
}

void CGPUCODECConfigurationDlg::FormatBitrateLabel() {
  bitrateLabel_ = L"Target bitrate : " + std::to_wstring(bitrateSlider_.GetPos()) + L" Mbps";
}

}  // namespace gpucodec
