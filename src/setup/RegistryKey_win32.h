// The registry key view of the subsystem tree on the real registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/win32.h"
#include "description/TreeInterfaces.h"

class TWin32RegistryKey : public IRegistryKey {
 public:
  // Opens (with create) root\path for reading and writing; Opened() tells whether it worked.
  TWin32RegistryKey(HKEY root, const std::string& path, bool create);
  bool Opened() const { return static_cast<bool>(key_); }

  bool ValueExists(const std::string& name) override;
  // Raises EInOutError with the system's text when the value cannot be written.
  void WriteString(const std::string& name, const std::string& value) override;
  bool DeleteValue(const std::string& name) override;
  std::vector<std::string> GetValueNames() override;

 private:
  win32::RegKey key_;
};
