// A window's picture as a person sees it, saved as a 24-bit BMP file: for the screenshots of
// the pages a test or the robot passes (scripts/bmp2png.py turns them into PNG files).
//
// Where the pixels come from: a window of this process is copied from its own window DC,
// which holds the whole window with its children even where another window covers it. A
// window of another process has no DC here that sees its pixels, so its rectangle is copied
// from the screen: the caller makes sure it is on top (the robot's wizard always is).
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "common/win32.h"

namespace capture {

// The BMP layout: file header, info header, then bottom-up rows of blue-green-red bytes,
// each row padded to a multiple of four bytes.
inline bool WriteBmp24(const std::string& path, int width, int height, const std::vector<uint8_t>& rows) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  if (rows.size() != static_cast<size_t>(stride) * static_cast<uint32_t>(height)) return false;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(rows.size());
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // positive: bottom-up
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(rows.size());
  std::ofstream out(win32::Wide(path).c_str(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(rows.data()), static_cast<std::streamsize>(rows.size()));
  return static_cast<bool>(out);
}

// Copies `window` (frame included) into a 24-bit BMP at `path` (UTF-8). False when the window
// is gone, has no area, or the file cannot be written.
inline bool SaveWindowBitmap(HWND window, const std::string& path) {
  RECT r{};
  if (!IsWindow(window) || !GetWindowRect(window, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;

  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  const bool own = owner == GetCurrentProcessId();
  HWND source = own ? window : nullptr;
  HDC sourceDc = own ? GetWindowDC(window) : GetDC(nullptr);
  if (!sourceDc) return false;
  const int x = own ? 0 : r.left, y = own ? 0 : r.top;

  HDC memory = CreateCompatibleDC(sourceDc);
  HBITMAP bitmap = CreateCompatibleBitmap(sourceDc, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, sourceDc, x, y, SRCCOPY) != FALSE;
  SelectObject(memory, old);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> rows(stride * static_cast<size_t>(height));
  const bool read = copied && GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), rows.data(), &info,
                                        DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(source, sourceDc);
  return read && WriteBmp24(path, width, height, rows);
}

}  // namespace capture
