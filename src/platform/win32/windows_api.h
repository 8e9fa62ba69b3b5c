#pragma once
// <windows.h> for the Win32 backend. It must come before any of our headers: Windows defines
// CopyFile, DeleteFile, GetFileAttributes and friends as macros (CopyFileA/W), which would
// rename the Platform members that share those names. They are undefined here, so the
// backend calls the ANSI functions by their full names (CopyFileA, ...).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlobj.h>
#include <winioctl.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetDriveType
#undef GetFileAttributes
#undef GetTempPath
#undef GetUserName
#undef GetVolumeInformation
#undef MoveFile
#undef RemoveDirectory
#undef SetFileAttributes
