// The guarded window procedure: an exception thrown while a window handles a message goes to
// the application's exception handler (logged, while none is installed) and is answered with
// a fixed result; it never reaches the system's frames, and the window goes on handling
// messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "common/testsupport.h"
#include "setup/SetupGlobals.h"
#include "ui/WindowProc_win32.h"
#include "ui/ui_throwing_window_win32.h"

namespace {

using namespace uitest;

TEST(WindowProc, ExceptionsAreLoggedAndTheWindowGoesOn) {
  TempDir dir;
  SetupGlobals.Log = std::make_unique<TLogFile>();
  SetupGlobals.Log->SetFileName(dir.File("ztkinst.log"));
  SetupGlobals.Log->WriteHeader = false;

  ThrowingWindowHolder thrower;
  HWND window = thrower.window;
  ASSERT_NE(window, nullptr);

  EXPECT_EQ(SendMessageW(window, kThrowOwn, 0, 0), 0);
  EXPECT_EQ(SendMessageW(window, kThrowStd, 0, 0), 0);
  EXPECT_EQ(SendMessageW(window, kThrowOther, 0, 0), 0);
  EXPECT_EQ(SendMessageW(window, kAnswer, 0, 0), 1234);
  EXPECT_TRUE(DestroyWindow(window));

  const std::string log = ReadFileBytes(dir.File("ztkinst.log"));
  SetupGlobals.Log.reset();
  EXPECT_NE(log.find(" exception in ThrowingWindow: EInOutError: Disk is gone\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" exception in ThrowingWindow: Exception: bad state\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" exception in ThrowingWindow: unknown exception\r\n"), std::string::npos) << log;
}

TEST(WindowProc, TheApplicationsHandlerGetsClassNameAndMessageInsteadOfTheLog) {
  TempDir dir;
  SetupGlobals.Log = std::make_unique<TLogFile>();
  SetupGlobals.Log->SetFileName(dir.File("ztkinst.log"));
  SetupGlobals.Log->WriteHeader = false;
  std::vector<std::pair<std::string, std::string>> handled;
  ui::SetApplicationExceptionHandler(
      [&](const std::string& className, const std::string& message) { handled.emplace_back(className, message); });

  auto fail = [](auto thrower) { return ui::GuardedCall<int>("Timer1", -1, thrower); };
  EXPECT_EQ(fail([]() -> int { throw EListError("List index out of bounds (5)"); }), -1);
  EXPECT_EQ(fail([]() -> int { throw std::runtime_error("bad state"); }), -1);
  EXPECT_EQ(fail([]() -> int { throw 42; }), -1);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"EListError", "List index out of bounds (5)"}, {"Exception", "bad state"}, {"Exception", "unknown exception"}};
  EXPECT_EQ(handled, expected);

  // A handler that fails itself: its own exception is logged and goes no further.
  ui::SetApplicationExceptionHandler([](const std::string&, const std::string&) { throw EInOutError("No log"); });
  EXPECT_EQ(fail([]() -> int { throw std::runtime_error("first"); }), -1);
  // Removed again: back to the log line.
  ui::SetApplicationExceptionHandler(nullptr);
  EXPECT_EQ(fail([]() -> int { throw std::runtime_error("second"); }), -1);

  const std::string log = ReadFileBytes(dir.File("ztkinst.log"));
  SetupGlobals.Log.reset();
  EXPECT_EQ(log.find("List index"), std::string::npos) << log;
  EXPECT_NE(log.find(" exception in Timer1: EInOutError: No log\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" exception in Timer1: Exception: second\r\n"), std::string::npos) << log;
}

TEST(WindowProc, GuardedCallAnswersTheBodysResultOrTheFailedOne) {
  EXPECT_EQ(ui::GuardedCall<int>("timer", -1, [] { return 7; }), 7);
  EXPECT_EQ(ui::GuardedCall<int>("timer", -1, []() -> int { throw std::bad_alloc(); }), -1);
}

}  // namespace
