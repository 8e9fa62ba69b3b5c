#pragma once
// The window's bitmaps carry straight alpha (cardwright_artwork writes them so); a static
// control shows a bitmap as it is, so each is blended onto the dialog's face colour before it
// is set.

#include "ui/win32/win32_api.h"

namespace cw::win32ui {

// Loads bitmap `resource` and returns it blended onto `background`; nullptr when it cannot.
// The caller owns the bitmap.
HBITMAP LoadBlendedBitmap(HINSTANCE instance, int resource, COLORREF background);

// The scale the window's pictures are shown at for its DPI: 100, 125, 150 or 200 (percent),
// the largest not above the window's own scale.
int PictureScalePercent(HWND window);

// `bitmap` stretched to `percent` of its size as a 32-bit DIB section (halftone), or itself at
// 100; a bitmap it replaces is deleted. nullptr when it cannot.
HBITMAP ScaledBitmap(HBITMAP bitmap, int percent);

// Gives bitmap control `id` of `dialog` the blended bitmap `resource`, at the scale of the
// dialog's DPI; the control's earlier image is deleted. Returns the new bitmap, which the dialog
// must delete when it ends. The pictures are drawn for 100 %: another scale stretches them.
HBITMAP SetBlendedBitmap(HWND dialog, int id, int resource);

}  // namespace cw::win32ui
