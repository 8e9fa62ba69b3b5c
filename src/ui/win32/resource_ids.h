#pragma once
// Resource ids of the Windows window, shared by the resource script and the code. The main
// dialog's control ids are those of ui/dialog_view.h, the settings dialogs' those of
// ui/settings_dialogs.h.

#define IDD_CARDWRIGHT 102
#define IDD_CHOOSE_PANEL_TYPE 156
#define IDD_ADVANCED_SETTINGS 157
#define IDI_APPLICATION_ICON 128
#define IDI_PASS_MARK 130
#define IDB_STEP1_LABEL 139
#define IDB_STEP2_LABEL 140
#define IDB_STEP3_LABEL 141
#define IDB_FAIL_MARK 159
