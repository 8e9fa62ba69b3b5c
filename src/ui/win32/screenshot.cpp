#include "ui/win32/screenshot.h"

#include "ui/win32/win32_api.h"

#include <cstdint>
#include <fstream>
#include <vector>

#include "ui/win32/win32_dialog_view.h"

namespace cw::win32ui {
namespace {

void PumpFor(DWORD milliseconds, HWND dialog) {
  const DWORD start = ::GetTickCount();
  MSG message;
  while (::GetTickCount() - start < milliseconds) {
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!::IsDialogMessageA(dialog, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
      }
    }
    ::Sleep(10);
  }
}

bool WriteBmp(const std::string& path, int width, int height, const std::vector<uint8_t>& bgr) {
  const uint32_t stride = static_cast<uint32_t>((width * 3 + 3) & ~3);
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  file.bfType = 0x4d42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + stride * static_cast<uint32_t>(height);
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(bgr.data()), static_cast<std::streamsize>(bgr.size()));
  return static_cast<bool>(out);
}

}  // namespace

bool SaveScreenshot(Win32DialogView& view, const std::string& path) {
  HWND dialog = view.Create();
  if (dialog == nullptr) return false;
  ::SetWindowPos(dialog, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  HWND tree = ::GetDlgItem(dialog, 1007);
  if (auto first = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0))) {
    ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(first));
    ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(first));
  }
  ::SetFocus(::GetDlgItem(dialog, 1004));
  PumpFor(1500, dialog);

  RECT frame{};
  ::GetWindowRect(dialog, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    ::GdiFlush();
    const size_t size = static_cast<size_t>((width * 3 + 3) & ~3) * static_cast<size_t>(height);
    const auto* begin = static_cast<const uint8_t*>(bits);
    saved = WriteBmp(path, width, height, std::vector<uint8_t>(begin, begin + size));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  ::SendMessageA(dialog, WM_CLOSE, 0, 0);
  return saved;
}

}  // namespace cw::win32ui
