#pragma once
// Where the dialogs' controls lie (IDD_CARDWRIGHT, IDD_ADVANCED_SETTINGS, IDD_CHOOSE_PANEL_TYPE),
// in dialog units: x, y, width, height. The one source of both windows: the Windows resource script places its template's
// controls with these, the Qt window converts them to pixels with its font. Plain #defines,
// as the resource compiler reads this file too.

#define LAYOUT_DIALOG_SIZE 302, 299

#define LAYOUT_STEP1_LABEL 72, 23, 145, 10
#define LAYOUT_PACKAGE_BOX 72, 39, 132, 14
#define LAYOUT_BROWSE 206, 39, 50, 14
#define LAYOUT_ENGINE_VERSION 75, 57, 135, 12
#define LAYOUT_PANEL_VERSION 75, 74, 141, 12
#define LAYOUT_STEP2_LABEL 72, 92, 177, 10
#define LAYOUT_TREE 72, 108, 132, 50
#define LAYOUT_CARD_BOX 72, 163, 131, 14
#define LAYOUT_STEP3_LABEL 72, 183, 130, 10
#define LAYOUT_STORE 72, 199, 65, 14
#define LAYOUT_VERIFY 149, 199, 50, 14
#define LAYOUT_STATUS1 77, 220, 142, 12
#define LAYOUT_PASS1 50, 216, 20, 20
#define LAYOUT_FAIL1_LEFT 17, 212, 31, 25
#define LAYOUT_FAIL1_RIGHT 227, 212, 31, 25
#define LAYOUT_PROGRESS 74, 245, 127, 11
#define LAYOUT_STATUS2 77, 264, 142, 12
#define LAYOUT_PASS2 51, 261, 20, 20
#define LAYOUT_FAIL2_LEFT 18, 250, 31, 25
#define LAYOUT_FAIL2_RIGHT 228, 250, 31, 25
#define LAYOUT_ADVANCED 245, 278, 50, 14
#define LAYOUT_HISTORY 190, 278, 50, 14

// "Advanced Settings".
#define LAYOUT_ADVANCED_SIZE 199, 105
#define LAYOUT_ADVANCED_OK 76, 84, 50, 14
#define LAYOUT_TARGET_GROUP 13, 13, 76, 54
#define LAYOUT_BACKUP_GROUP 97, 13, 95, 54
#define LAYOUT_CREATE_BACKUP 112, 25, 63, 10
#define LAYOUT_RESTORE_ONLY 112, 47, 57, 10
#define LAYOUT_ENGINE 29, 27, 38, 10
#define LAYOUT_PANEL 29, 44, 34, 10

// "Please Choose Panel Type".
#define LAYOUT_CHOOSE_PANEL_SIZE 174, 86
#define LAYOUT_CHOOSE_PANEL_OK 57, 65, 50, 14
#define LAYOUT_3940 67, 21, 32, 10
#define LAYOUT_3950 67, 40, 32, 10

// "History" (IDD_HISTORY): the card journal's entries, chosen by card.
#define HISTORY_DIALOG_SIZE 420, 232
#define HISTORY_CARD_CAPTION 7, 9, 24, 8
#define HISTORY_CARD 32, 7, 100, 120
#define HISTORY_NOTE 140, 9, 273, 16
#define HISTORY_LIST 7, 27, 406, 178
#define HISTORY_CLOSE 363, 211, 50, 14
