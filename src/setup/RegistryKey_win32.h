// The registry key view of the subsystem tree on the real registry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/win32.h"
#include "description/TreeInterfaces.h"

class TWin32RegistryKey : public IRegistryKey {
 public:
  // Opens (with create) root\path for reading and writing; Opened() tells whether it worked.
  // `view` is 0 or a registry view flag (KEY_WOW64_32KEY).
  TWin32RegistryKey(HKEY root, const std::string& path, bool create, REGSAM view = 0);
  bool Opened() const { return static_cast<bool>(key_); }

  bool ValueExists(const std::string& name) override;
  // Raises EInOutError with the system's text when the value cannot be written.
  void WriteString(const std::string& name, const std::string& value) override;
  bool DeleteValue(const std::string& name) override;
  std::vector<std::string> GetValueNames() override;
  // A DWORD value; raises EInOutError as WriteString does.
  void WriteInteger(const std::string& name, std::uint32_t value);
  // A string value; false when it is missing or not a string.
  bool ReadString(const std::string& name, std::string& value);

 private:
  win32::RegKey key_;
};
