// Records its command line and current directory in the file named by FAKE_SETUP_RECORD;
// with "UNINSTALL" among its arguments it deletes the product's key, as a real removal
// does. Exits with FAKE_SETUP_EXIT. It also records whether its own file could be opened for
// writing (which the uninstaller must prevent).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/osfile.h"
#include "common/text.h"
#include "common/win32.h"
#include "setup/ProductKeys_win32.h"

namespace {
std::string Env(const wchar_t* name) {
  wchar_t buffer[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return n && n < 1024 ? win32::Narrow(std::wstring_view(buffer, n)) : std::string();
}

bool OwnFileWritable() {
  HANDLE h = CreateFileW(win32::ProgramFileW().c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  const std::string args = win32::Narrow(commandLine);
  const std::string cwd = os::CurrentDirectory();
  os::File record = os::OpenFile(Env(L"FAKE_SETUP_RECORD"), os::OpenMode::Create);
  const std::string line = "args=" + args + "\r\ncwd=" + cwd + "\r\nidf=" +
                           (os::FileExists(cwd + "\\setup.idf") ? "yes" : "no") + "\r\nwritable=" +
                           (OwnFileWritable() ? "yes" : "no") + "\r\n";
  if (record.IsOpen()) record.Write(line.data(), line.size());
  if (text::UpperAscii(args).find("UNINSTALL") != std::string::npos) {
    productkeys::Delete(HKEY_LOCAL_MACHINE, productkeys::kProduct);
  }
  return std::atoi(Env(L"FAKE_SETUP_EXIT").c_str());
}
