#include "ui/win32/pictures.h"

#include <cstdint>
#include <initializer_list>

namespace cw::win32ui {

HBITMAP LoadBlendedBitmap(HINSTANCE instance, int resource, COLORREF background) {
  auto bitmap = static_cast<HBITMAP>(::LoadImageA(instance, MAKEINTRESOURCEA(resource),
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (bitmap == nullptr) return nullptr;
  DIBSECTION dib{};
  if (::GetObjectA(bitmap, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32 ||
      dib.dsBm.bmBits == nullptr) {
    return bitmap;  // no alpha to blend: shown as it is
  }
  const int back[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
  auto* bytes = static_cast<uint8_t*>(dib.dsBm.bmBits);
  const size_t count = static_cast<size_t>(dib.dsBm.bmWidth) * static_cast<size_t>(dib.dsBm.bmHeight);
  for (size_t i = 0; i < count; ++i) {
    uint8_t* pixel = bytes + 4 * i;  // B, G, R, A
    const int alpha = pixel[3];
    for (int c = 0; c < 3; ++c)
      pixel[c] = static_cast<uint8_t>((pixel[c] * alpha + back[c] * (255 - alpha) + 127) / 255);
    pixel[3] = 0;
  }
  return bitmap;
}

int PictureScalePercent(HWND window) {
  // GetDpiForWindow (Windows 10 1607 and later) knows a window's own monitor; before it, the
  // screen's DPI is the system's.
  using DpiForWindow = UINT(WINAPI*)(HWND);
  UINT dpi = 0;
  if (HMODULE user32 = ::GetModuleHandleA("user32.dll")) {
    if (auto forWindow = reinterpret_cast<DpiForWindow>(
            reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")))) {
      dpi = forWindow(window);
    }
  }
  if (dpi == 0) {
    HDC screen = ::GetDC(nullptr);
    dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
    ::ReleaseDC(nullptr, screen);
  }
  const int percent = static_cast<int>(dpi) * 100 / 96;
  for (int scale : {200, 150, 125})
    if (percent >= scale) return scale;
  return 100;
}

HBITMAP ScaledBitmap(HBITMAP bitmap, int percent) {
  if (percent == 100 || bitmap == nullptr) return bitmap;
  BITMAP size{};
  if (::GetObjectA(bitmap, sizeof size, &size) != sizeof size) return bitmap;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = ::MulDiv(size.bmWidth, percent, 100);
  info.bmiHeader.biHeight = ::MulDiv(size.bmHeight, percent, 100);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP scaled = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (scaled == nullptr) return bitmap;
  HDC from = ::CreateCompatibleDC(nullptr);
  HDC to = ::CreateCompatibleDC(nullptr);
  HGDIOBJ oldFrom = ::SelectObject(from, bitmap);
  HGDIOBJ oldTo = ::SelectObject(to, scaled);
  ::SetStretchBltMode(to, HALFTONE);
  ::SetBrushOrgEx(to, 0, 0, nullptr);
  ::StretchBlt(to, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight, from, 0, 0,
               size.bmWidth, size.bmHeight, SRCCOPY);
  ::SelectObject(from, oldFrom);
  ::SelectObject(to, oldTo);
  ::DeleteDC(from);
  ::DeleteDC(to);
  ::DeleteObject(bitmap);
  return scaled;
}

HBITMAP SetBlendedBitmap(HWND dialog, int id, int resource) {
  HWND control = ::GetDlgItem(dialog, id);
  if (control == nullptr) return nullptr;
  HBITMAP bitmap = ScaledBitmap(
      LoadBlendedBitmap(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE)),
                        resource, ::GetSysColor(COLOR_BTNFACE)),
      PictureScalePercent(dialog));
  if (bitmap == nullptr) return nullptr;
  auto old = reinterpret_cast<HBITMAP>(
      ::SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  if (old != nullptr && old != bitmap) ::DeleteObject(old);
  return bitmap;
}

}  // namespace cw::win32ui
