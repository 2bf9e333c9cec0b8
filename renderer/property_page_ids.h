#pragma once

// Resource and control ids of the property page, shared by the resource script and the
// code (the resource compiler takes only preprocessor names).
#define IDS_PIXORA_PAGE_TITLE 101
#define IDD_PIXORA_PAGE 106
#define IDC_FILL_MODE 1001
#define IDC_SNAPSHOT 1002
#define IDC_MIRROR 1003
#define IDC_FLIP 1004
#define IDC_ROTATE 1005
#define IDC_OUTPUT_WIDTH 1006
#define IDC_OUTPUT_HEIGHT 1007
#define IDC_OUTPUT_FPS 1008
#define IDC_APPLY 1009
