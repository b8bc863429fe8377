// TImage, the picture control of the forms: a child window that shows one bitmap, either
// stretched over its whole client area or at the picture's own size in its top left corner
// (the rest in the dialog colour). The picture comes from a BMP file or from a bitmap
// resource of the program's own module; the control owns it.
#pragma once

#include <windows.h>

#include <string>

class TImage {
 public:
  TImage() = default;
  ~TImage();
  TImage(const TImage&) = delete;
  TImage& operator=(const TImage&) = delete;

  // Creates the control as a visible child of `parent` at `bounds` (client coordinates of the
  // parent, in pixels). A picture loaded before stays. Raises Exception when the system
  // refuses the window.
  void Create(HWND parent, const RECT& bounds, bool stretch);
  // Destroys the control's window (the picture stays loaded).
  void Destroy();

  // Replaces the picture by the BMP file at `path` (UTF-8). A missing, unreadable or damaged
  // file answers false and leaves the picture as it was.
  bool LoadFromFile(const std::string& path);
  // Replaces the picture by the bitmap resource `name` of the program's own module; false
  // (and the picture as it was) when there is none of that name.
  bool LoadFromResource(const char* name);
  void Clear();

  bool Empty() const { return bitmap_ == nullptr; }
  HBITMAP Bitmap() const { return bitmap_; }
  // The picture's own size in pixels; 0 x 0 without a picture.
  SIZE PictureSize() const { return size_; }

  bool Stretch() const { return stretch_; }
  void SetStretch(bool stretch);

  HWND Handle() const { return window_; }

  // For the window procedure (ui::MemberWindowProc).
  static constexpr const char* kWindowName = "TImage";
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void SetBitmap(HBITMAP bitmap);
  void Paint(HDC dc, const RECT& client) const;

  HWND window_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  SIZE size_{0, 0};
  bool stretch_ = false;
};

// Loads the bitmap resource `resourceName` of the program's own module into `image`. False
// for no image or a failed load (the image then keeps its picture).
bool LoadImageResource(TImage* image, const char* resourceName);
