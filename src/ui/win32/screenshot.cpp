#include "ui/win32/screenshot.h"

#include "ui/win32/win32_api.h"

#include <cstdint>
#include <fstream>
#include <string>

#include <zlib.h>

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

void PutBig32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xff);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  PutBig32(out, static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                              static_cast<uInt>(body.size()))));
}

// An RGB PNG of `bgr` (bottom row first, rows padded to 4 bytes, as a DIB holds them).
bool WritePng(const std::string& path, int width, int height, const uint8_t* bgr) {
  const size_t stride = static_cast<size_t>((width * 3 + 3) & ~3);
  std::string raw;
  for (int y = height - 1; y >= 0; --y) {
    raw += '\0';  // no filter
    const uint8_t* row = bgr + stride * static_cast<size_t>(y);
    for (int x = 0; x < width; ++x) {
      raw += static_cast<char>(row[3 * x + 2]);
      raw += static_cast<char>(row[3 * x + 1]);
      raw += static_cast<char>(row[3 * x]);
    }
  }
  uLongf packedSize = ::compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (::compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  packed.resize(packedSize);
  std::string header;
  PutBig32(header, static_cast<uint32_t>(width));
  PutBig32(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  std::string png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", "");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
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
    saved = WritePng(path, width, height, static_cast<const uint8_t*>(bits));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  ::SendMessageA(dialog, WM_CLOSE, 0, 0);
  return saved;
}

}  // namespace cw::win32ui
