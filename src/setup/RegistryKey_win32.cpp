#include "setup/RegistryKey_win32.h"

#include "common/errors.h"

TWin32RegistryKey::TWin32RegistryKey(HKEY root, const std::string& path, bool create,
                                     REGSAM view) {
  std::wstring wpath = win32::Wide(path);
  // Registry paths of the program begin with "\"; the API wants them relative.
  while (!wpath.empty() && wpath.front() == L'\\') wpath.erase(0, 1);
  if (create) {
    RegCreateKeyExW(root, wpath.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | view, nullptr, key_.put(),
                    nullptr);
  } else {
    RegOpenKeyExW(root, wpath.c_str(), 0, KEY_READ | KEY_WRITE | view, key_.put());
  }
}

bool TWin32RegistryKey::ValueExists(const std::string& name) {
  return key_ && RegQueryValueExW(key_.get(), win32::Wide(name).c_str(), nullptr, nullptr, nullptr,
                                  nullptr) == ERROR_SUCCESS;
}

void TWin32RegistryKey::WriteString(const std::string& name, const std::string& value) {
  std::wstring w = win32::Wide(value);
  LSTATUS status = key_ ? RegSetValueExW(key_.get(), win32::Wide(name).c_str(), 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(w.c_str()),
                                         static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)))
                        : ERROR_INVALID_HANDLE;
  if (status != ERROR_SUCCESS) {
    throw EInOutError("Failed to set data for '" + name + "': " +
                      win32::ErrorText(static_cast<DWORD>(status)));
  }
}

void TWin32RegistryKey::WriteInteger(const std::string& name, std::uint32_t value) {
  const DWORD data = value;
  LSTATUS status = key_ ? RegSetValueExW(key_.get(), win32::Wide(name).c_str(), 0, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&data), sizeof data)
                        : ERROR_INVALID_HANDLE;
  if (status != ERROR_SUCCESS) {
    throw EInOutError("Failed to set data for '" + name + "': " +
                      win32::ErrorText(static_cast<DWORD>(status)));
  }
}

bool TWin32RegistryKey::DeleteValue(const std::string& name) {
  return key_ && RegDeleteValueW(key_.get(), win32::Wide(name).c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> TWin32RegistryKey::GetValueNames() {
  std::vector<std::string> names;
  if (!key_) return names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return names;
  std::wstring buffer(longest + 1, L'\0');
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (RegEnumValueW(key_.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS) {
      names.push_back(win32::Narrow(std::wstring_view(buffer.data(), length)));
    }
  }
  return names;
}

bool TWin32RegistryKey::ReadString(const std::string& name, std::string& value) {
  if (!key_) return false;
  std::wstring wname = win32::Wide(name);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  buffer.resize(size / sizeof(wchar_t));
  while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
  value = win32::Narrow(buffer);
  return true;
}
