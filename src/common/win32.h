// Small Win32 helpers shared by every *_win32.cpp file: UTF-8 <-> UTF-16 at the API
// boundary, the system's error texts, and RAII owners of handles and registry keys.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "common/text.h"

namespace win32 {

inline std::wstring Wide(std::string_view utf8) {
  std::u16string w = text::Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

inline std::string Narrow(std::wstring_view wide) {
  return text::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

// The path as the wide file APIs take it: past the classic length limit, absolute and with
// the extended-length prefix (defined with the portable file functions).
std::wstring LongPath(const std::string& path);

// The system's text for an error code, without the trailing line break.
std::string ErrorText(DWORD code);

// The full path of the running program's file.
inline std::wstring ProgramFileW() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}
inline std::string ProgramFile() { return Narrow(ProgramFileW()); }

// Owns a kernel handle; the invalid value is part of the type, since some APIs return NULL
// and others INVALID_HANDLE_VALUE on failure.
struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};
struct NullHandleTraits {
  static HANDLE Invalid() { return nullptr; }
};

template <typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  HANDLE release() {
    HANDLE h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(HANDLE h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) {
      DWORD saved = GetLastError();  // cleanup must not hide the error being reported
      CloseHandle(h_);
      SetLastError(saved);
    }
    h_ = h;
  }

 private:
  HANDLE h_ = Traits::Invalid();
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using Handle = UniqueHandle<NullHandleTraits>;

// Owns an open registry key.
class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY k) : k_(k) {}
  ~RegKey() {
    if (k_) RegCloseKey(k_);
  }
  RegKey(RegKey&& o) noexcept : k_(o.k_) { o.k_ = nullptr; }
  RegKey& operator=(RegKey&& o) noexcept {
    if (this != &o) {
      if (k_) RegCloseKey(k_);
      k_ = o.k_;
      o.k_ = nullptr;
    }
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY get() const { return k_; }
  HKEY* put() { return &k_; }
  explicit operator bool() const { return k_ != nullptr; }

 private:
  HKEY k_ = nullptr;
};

}  // namespace win32
