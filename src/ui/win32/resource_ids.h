#pragma once
// Resource ids of the Windows window, shared by the resource script and the code. The main
// dialog's control ids are those of ui/dialog_view.h, the settings dialogs' those of
// ui/settings_dialogs.h, the history's those of ui/history_dialog.h.

#define IDD_CARDWRIGHT 102
#define IDD_CHOOSE_PANEL_TYPE 156
#define IDD_ADVANCED_SETTINGS 157
#define IDD_HISTORY 158
#define IDI_APPLICATION_ICON 128
#define IDI_PASS_MARK 130
#define IDB_STEP1_LABEL 139
#define IDB_STEP2_LABEL 140
#define IDB_STEP3_LABEL 141
#define IDB_FAIL_MARK 159

// The pass and fail marks and the step labels are drawn for each of these scales (percent of
// 96 DPI), each scale its own resource: the one of scale index i (0 for 100 %) has the
// picture's id above + i * PICTURE_SCALE_STRIDE. The window picks the set for its DPI.
#define PICTURE_SCALES 100, 125, 150, 200
#define PICTURE_SCALE_STRIDE 1000
#define PICTURE_AT_SCALE(id, index) ((id) + (index) * PICTURE_SCALE_STRIDE)
