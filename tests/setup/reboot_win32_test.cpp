// The restart at the end of a run: what is asked of Windows, with the final call replaced.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "setup/Platform_win32.h"

namespace {

// True when the process token holds the shutdown privilege enabled.
bool ShutdownPrivilegeEnabled() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  LUID shutdown{};
  bool enabled = false;
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size ? size : 1);
  if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &shutdown) &&
      GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
      if (p.Luid.LowPart == shutdown.LowPart && p.Luid.HighPart == shutdown.HighPart) {
        enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
      }
    }
  }
  CloseHandle(token);
  return enabled;
}

TEST(RebootWindowsTest, AsksForShutdownAndRestartWithoutForcingWithThePrivilegeEnabled) {
  SetPlatformFactsOverride([] {
    TPlatformFacts facts;
    facts.IsWindows9x = false;
    return facts;
  });
  std::vector<unsigned> asked;
  bool privilegeAtTheCall = false;
  RebootWindowsWith([&](unsigned flags, unsigned long) {
    asked.push_back(flags);
    privilegeAtTheCall = ShutdownPrivilegeEnabled();
  });
  SetPlatformFactsOverride({});
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], static_cast<unsigned>(EWX_SHUTDOWN | EWX_REBOOT));
  EXPECT_EQ(asked[0] & EWX_FORCE, 0u);
  EXPECT_TRUE(privilegeAtTheCall);
}

}  // namespace
