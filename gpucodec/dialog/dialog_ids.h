#pragma once

// Resource and control ids of the settings dialog, shared by the resource script and the
// code (the resource compiler takes only preprocessor names).
#define IDD_GPUCODEC_CONFIGURATION 2152
#define IDC_PRESET_SLIDER 1001
#define IDC_BITRATE_LABEL 1002
#define IDC_LOW_LATENCY 1003
#define IDC_BITRATE_SLIDER 1004
