#include "setup/ProductKeys_win32.h"

#include "common/win32.h"

namespace productkeys {
namespace {

std::wstring Relative(const std::string& path) {
  std::wstring w = win32::Wide(path);
  while (!w.empty() && w.front() == L'\\') w.erase(0, 1);
  return w;
}

}  // namespace

bool Exists(HKEY root, const std::string& path) {
  win32::RegKey key;
  return RegOpenKeyExW(root, Relative(path).c_str(), 0, KEY_READ | kView, key.put()) ==
         ERROR_SUCCESS;
}

bool Delete(HKEY root, const std::string& path) {
  const std::wstring relative = Relative(path);
  {
    win32::RegKey key;
    LSTATUS status = RegOpenKeyExW(root, relative.c_str(), 0,
                                   DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE |
                                       KEY_SET_VALUE | kView,
                                   key.put());
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) return false;
    if (RegDeleteTreeW(key.get(), nullptr) != ERROR_SUCCESS) return false;
  }
  LSTATUS status = RegDeleteKeyExW(root, relative.c_str(), kView, 0);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace productkeys
