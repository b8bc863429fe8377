// The product's registry keys. They live in the 32-bit view of the registry on 64-bit
// Windows: earlier builds of the program were 32-bit, and a 32-bit and a 64-bit build must
// find one record. Every part of the program opens them through these functions.
#pragma once

#include <windows.h>

#include <string>

#include "setup/RegistryKey_win32.h"

namespace productkeys {

inline const std::string kProduct = "\\Software\\Quorvalen";
inline const std::string kSubSystems = "\\Software\\Quorvalen\\SubSystems";
inline const std::string kUninstallBase = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline const std::string kUninstallMark = "\\SOFTWARE\\ZTKUNINSTALL";

// The view flag every access to the product's keys carries.
constexpr REGSAM kView = KEY_WOW64_32KEY;

inline TWin32RegistryKey Open(HKEY root, const std::string& path, bool create) {
  return TWin32RegistryKey(root, path, create, kView);
}
bool Exists(HKEY root, const std::string& path);
// Deletes the key with everything below it; true when it is gone (also when it was missing).
bool Delete(HKEY root, const std::string& path);

}  // namespace productkeys
