#pragma once
// The window's bitmaps carry straight alpha (cardwright_artwork writes them so); a static
// control shows a bitmap as it is, so each is blended onto the dialog's face colour before it
// is set.

#include "ui/win32/win32_api.h"

namespace cw::win32ui {

// Loads bitmap `resource` and returns it blended onto `background`; nullptr when it cannot.
// The caller owns the bitmap.
HBITMAP LoadBlendedBitmap(HINSTANCE instance, int resource, COLORREF background);

// Gives bitmap control `id` of `dialog` the blended bitmap `resource`; the control's earlier
// image is deleted. Returns the new bitmap, which the dialog must delete when it ends.
HBITMAP SetBlendedBitmap(HWND dialog, int id, int resource);

}  // namespace cw::win32ui
