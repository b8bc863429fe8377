#include "ui/Image_win32.h"

#include <cstdint>
#include <cstdlib>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/win32.h"
#include "ui/WindowProc_win32.h"

namespace {

constexpr wchar_t kClassName[] = L"TImage";

// A BMP file, as far as it is checked before the system's loader sees it:
//
//   file header   14 bytes  "BM", file size (u32), two reserved u16, offset of the pixels (u32)
//   info header   12 bytes  (core) u32 size, u16 width, u16 height, u16 planes, u16 bits
//              or 40+ bytes u32 size, i32 width, i32 height (negative: top-down), u16 planes,
//                           u16 bits, u32 compression, u32 size of the pixels, ...
//   pixels        at the offset; uncompressed rows are padded to 4 bytes
//
// The loader trusts these numbers; a file cut short or lying about its size is refused here.
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::int64_t kMaxSide = 32768;
constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

std::uint32_t U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsSoundBmp(const std::string& path) {
  os::File file = os::OpenFile(path, os::OpenMode::Read, false);
  if (!file.IsOpen()) return false;
  const std::int64_t fileSize = file.Size();
  unsigned char head[kFileHeaderSize + kInfoHeaderSize] = {};
  const std::size_t got = file.Read(head, sizeof head);
  if (got < kFileHeaderSize + kCoreHeaderSize || head[0] != 'B' || head[1] != 'M') return false;
  const std::int64_t pixelsAt = U32(head + 10);
  const std::uint32_t headerSize = U32(head + 14);
  const unsigned char* info = head + kFileHeaderSize;
  std::int64_t width = 0, height = 0;
  std::uint32_t planes = 0, bits = 0, compression = kRgb, pixelBytes = 0;
  if (headerSize == kCoreHeaderSize) {
    width = U16(info + 4);
    height = U16(info + 6);
    planes = U16(info + 8);
    bits = U16(info + 10);
  } else if (headerSize >= kInfoHeaderSize && got >= kFileHeaderSize + kInfoHeaderSize) {
    width = static_cast<std::int32_t>(U32(info + 4));
    height = static_cast<std::int32_t>(U32(info + 8));
    planes = U16(info + 12);
    bits = U16(info + 14);
    compression = U32(info + 16);
    pixelBytes = U32(info + 20);
  } else {
    return false;
  }
  height = std::llabs(height);
  if (width <= 0 || height == 0 || width > kMaxSide || height > kMaxSide || planes != 1) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (pixelsAt < static_cast<std::int64_t>(kFileHeaderSize + headerSize) || pixelsAt > fileSize) {
    return false;
  }
  std::int64_t needed = 0;
  if (compression == kRgb || compression == kBitFields || compression == kAlphaBitFields) {
    needed = (width * bits + 31) / 32 * 4 * height;
  } else if ((compression == kRle8 && bits == 8) || (compression == kRle4 && bits == 4)) {
    needed = pixelBytes;
    if (needed == 0) return false;
  } else {
    return false;  // embedded JPEG or PNG, or nothing known
  }
  return pixelsAt + needed <= fileSize;
}

}  // namespace

TImage::~TImage() {
  Destroy();
  Clear();
}

void TImage::Create(HWND parent, const RECT& bounds, bool stretch) {
  Destroy();
  stretch_ = stretch;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ui::RegisterFormClass<TImage>(instance, kClassName, "the image control");
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                            bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                            instance, this);
  if (!window_) {
    throw Exception("Cannot create the image control: " + win32::ErrorText(GetLastError()));
  }
}

void TImage::Destroy() {
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
}

bool TImage::LoadFromFile(const std::string& path) {
  try {
    if (!IsSoundBmp(path)) return false;
  } catch (const std::exception&) {
    return false;  // unreadable
  }
  auto bitmap = static_cast<HBITMAP>(LoadImageW(nullptr, win32::Wide(path).c_str(), IMAGE_BITMAP, 0,
                                                0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!bitmap) return false;
  SetBitmap(bitmap);
  return true;
}

bool TImage::LoadFromResource(const char* name) {
  if (!name) return false;
  auto bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), win32::Wide(name).c_str(),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bitmap) return false;
  SetBitmap(bitmap);
  return true;
}

void TImage::Clear() { SetBitmap(nullptr); }

void TImage::SetBitmap(HBITMAP bitmap) {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = bitmap;
  size_ = SIZE{0, 0};
  BITMAP info{};
  if (bitmap_ && GetObjectW(bitmap_, sizeof info, &info)) size_ = SIZE{info.bmWidth, info.bmHeight};
  if (window_) InvalidateRect(window_, nullptr, TRUE);
}

void TImage::SetStretch(bool stretch) {
  stretch_ = stretch;
  if (window_) InvalidateRect(window_, nullptr, TRUE);
}

void TImage::Paint(HDC dc, const RECT& client) const {
  RECT rest = client;
  if (bitmap_) {
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap_);
    if (stretch_) {
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, size_.cx, size_.cy, SRCCOPY);
      rest = RECT{};
    } else {
      BitBlt(dc, 0, 0, size_.cx, size_.cy, source, 0, 0, SRCCOPY);
    }
    SelectObject(source, old);
    DeleteDC(source);
  }
  if (IsRectEmpty(&rest)) return;
  // Around a picture shown at its own size: the right strip and the bottom strip.
  HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  if (!bitmap_ || stretch_) {
    FillRect(dc, &rest, face);
    return;
  }
  RECT right{size_.cx, 0, client.right, client.bottom};
  RECT below{0, size_.cy, size_.cx, client.bottom};
  if (!IsRectEmpty(&right)) FillRect(dc, &right, face);
  if (!IsRectEmpty(&below)) FillRect(dc, &below, face);
}

LRESULT TImage::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client{};
      GetClientRect(window, &client);
      Paint(dc, client);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SIZE:
      if (stretch_) InvalidateRect(window, nullptr, FALSE);
      return 0;
    // Controls placed on the picture (a label) talk to the form, not to the picture.
    case WM_CTLCOLORSTATIC:
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
      return SendMessageW(GetParent(window), message, wParam, lParam);
    case WM_NCDESTROY:
      if (window == window_) window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool LoadImageResource(TImage* image, const char* resourceName) {
  return image != nullptr && image->LoadFromResource(resourceName);
}
