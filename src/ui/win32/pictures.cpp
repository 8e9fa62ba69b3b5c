#include "ui/win32/pictures.h"

#include <cstdint>

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

HBITMAP SetBlendedBitmap(HWND dialog, int id, int resource) {
  HWND control = ::GetDlgItem(dialog, id);
  if (control == nullptr) return nullptr;
  HBITMAP bitmap = LoadBlendedBitmap(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE)),
                                     resource, ::GetSysColor(COLOR_BTNFACE));
  if (bitmap == nullptr) return nullptr;
  auto old = reinterpret_cast<HBITMAP>(
      ::SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  if (old != nullptr && old != bitmap) ::DeleteObject(old);
  return bitmap;
}

}  // namespace cw::win32ui
