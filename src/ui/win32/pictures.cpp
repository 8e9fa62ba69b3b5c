#include "ui/win32/pictures.h"

#include <cstdint>
#include <iterator>

#include "ui/win32/resource_ids.h"

namespace cw::win32ui {
namespace {

constexpr int kScales[] = {PICTURE_SCALES};  // ascending

}  // namespace

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
  int scale = kScales[0];
  for (int drawn : kScales)
    if (percent >= drawn) scale = drawn;
  return scale;
}

int PictureAtScale(int resource, int percent) {
  for (int index = 0; index < static_cast<int>(std::size(kScales)); ++index)
    if (kScales[index] == percent) return PICTURE_AT_SCALE(resource, index);
  return resource;
}

HBITMAP SetBlendedBitmap(HWND dialog, int id, int resource) {
  HWND control = ::GetDlgItem(dialog, id);
  if (control == nullptr) return nullptr;
  HBITMAP bitmap =
      LoadBlendedBitmap(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE)),
                        PictureAtScale(resource, PictureScalePercent(dialog)),
                        ::GetSysColor(COLOR_BTNFACE));
  if (bitmap == nullptr) return nullptr;
  auto old = reinterpret_cast<HBITMAP>(
      ::SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  if (old != nullptr && old != bitmap) ::DeleteObject(old);
  return bitmap;
}

HICON SetScaledIcon(HWND dialog, std::initializer_list<int> ids, int resource) {
  auto icon = static_cast<HICON>(::LoadImageA(
      reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE)),
      MAKEINTRESOURCEA(PictureAtScale(resource, PictureScalePercent(dialog))), IMAGE_ICON, 0, 0,
      LR_DEFAULTCOLOR));  // 0 x 0: the icon's own size
  if (icon == nullptr) return nullptr;
  for (int id : ids)
    if (HWND control = ::GetDlgItem(dialog, id))
      ::SendMessageA(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  return icon;
}

}  // namespace cw::win32ui
