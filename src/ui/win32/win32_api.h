#pragma once
// <windows.h> and the common controls for the Windows window. It must come before our other
// headers: Windows names macros after functions (MessageBox, GetOpenFileName, ...) that would
// rename members of ours.

#include "platform/win32/windows_api.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>
#include <shellapi.h>

#undef MessageBox
#undef GetObject
