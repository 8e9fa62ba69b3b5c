#pragma once
// The window's pictures are drawn for each scale of PICTURE_SCALES (resource_ids.h); the window
// shows the set of its DPI as drawn, stretching none. Its bitmaps carry straight alpha
// (cardwright_artwork writes them so); a static control shows a bitmap as it is, so each is
// blended onto the dialog's face colour before it is set.

#include "ui/win32/win32_api.h"

#include <initializer_list>

namespace cw::win32ui {

// Loads bitmap `resource` and returns it blended onto `background`; nullptr when it cannot.
// The caller owns the bitmap.
HBITMAP LoadBlendedBitmap(HINSTANCE instance, int resource, COLORREF background);

// The scale the window's pictures are shown at for its DPI: 100, 125, 150 or 200 (percent),
// the largest not above the window's own scale.
int PictureScalePercent(HWND window);

// The resource of picture `resource` (its 100 % id) as drawn for `percent`, one of
// PICTURE_SCALES; any other percent gives the 100 % one.
int PictureAtScale(int resource, int percent);

// Gives bitmap control `id` of `dialog` the blended bitmap `resource` as drawn for the dialog's
// DPI; the control's earlier image is deleted. Returns the new bitmap, which the dialog must
// delete when it ends.
HBITMAP SetBlendedBitmap(HWND dialog, int id, int resource);

// Gives icon controls `ids` of `dialog` icon `resource` as drawn for the dialog's DPI, at its
// drawn size (the template's icon, shared and loaded at the system's icon size, is left to the
// system). Returns the icon, which the dialog must destroy when it ends.
HICON SetScaledIcon(HWND dialog, std::initializer_list<int> ids, int resource);

}  // namespace cw::win32ui
