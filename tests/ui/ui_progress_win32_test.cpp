// The progress window under Wine: its look for each mode and language, the polling of the
// engine's progress, the title bar's close, and Cancel clicked with the mouse, alone with the
// engine and during a real installation.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "common/win32.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "engine/engine_support_win32.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "ui/Dpi_win32.h"
#include "ui/InstProc_win32.h"
#include "ui/ui_driving_win32.h"

using namespace std::chrono_literals;

namespace {

using uitest::Text;

const char kQuestionRu[] =
    "Установка не закончена.\r\nСистема будет установлена некорректно.\r\n\r\nПрервать установку?";
const char kQuestionEn[] =
    "Installation is not complete.\r\nThe system will be installed uncorrectly.\r\n\r\n"
    "Abort installation?";

int BarPosition(const TfmInstProc& form) {
  return static_cast<int>(SendMessageW(form.ProgressBar(), PBM_GETPOS, 0, 0));
}

// Runs the main thread's loop until `done` or the deadline; answers `done`'s last answer.
bool PumpFor(std::chrono::milliseconds limit, const std::function<bool()>& done = [] { return false; }) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool result = false;
  mainthread::PumpUntil([&] {
    result = done();
    return result || std::chrono::steady_clock::now() >= deadline;
  });
  return result;
}

// A person's click: the left button pressed and released in the middle of the button.
void Click(HWND button) {
  RECT r{};
  ASSERT_TRUE(GetClientRect(button, &r));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(button, WM_LBUTTONUP, 0, at);
}

// Would the worker wait at its next progress report now? Asked from another thread, which
// blocks in the engine's pause check while a pause is requested; the future ends with the
// pause, so the caller keeps it until then.
bool WorkerWouldWait(TProgressThread& engine, std::vector<std::future<bool>>& pending) {
  pending.push_back(std::async(std::launch::async, [&engine] { return engine.CheckPause(); }));
  return pending.back().wait_for(150ms) == std::future_status::timeout;
}

class FakeLibraries : public ILibraryControl {
 public:
  explicit FakeLibraries(bool asking) : asking_(asking) {}
  void SuspendAll() override { calls.push_back("suspend"); }
  void ResumeAll() override { calls.push_back("resume"); }
  bool IsAsking() const override { return asking_; }
  std::vector<std::string> calls;

 private:
  bool asking_;
};

class ProgressWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    mainthread::Init();
    SetupGlobals.IsEnglish = false;
    SetupGlobals.SystemName = "ZTK Тест";
  }
  void TearDown() override { SetupGlobals.IsEnglish = false; }
  TWizardState state;
};

TEST_F(ProgressWindow, CaptionAndButtonForEachModeAndLanguage) {
  struct Row {
    SetupMode mode;
    bool english;
    const char* caption;
    const char* button;
  };
  const Row rows[] = {
      {smInstall, false, "Установка системы ZTK Тест", "&Отмена"},
      {smAddDelete, false, "Добавление/Удаление подсистем ZTK Тест", "&Отмена"},
      {smUninstall, false, "Деинсталляция системы ZTK Тест", "&Отмена"},
      {smInstall, true, "Installation of system ZTK Тест", "&Cancel"},
      {smAddDelete, true, "Add/Delete subsystems ZTK Тест", "&Cancel"},
      {smUninstall, true, "Uninstallation of system ZTK Тест", "&Cancel"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.caption);
    SetupGlobals.IsEnglish = row.english;
    TProgressThread engine(state, nullptr);
    TfmInstProc form;
    form.Create(engine, row.mode);
    HWND window = form.Handle();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(Text(window), row.caption);
    EXPECT_EQ(Text(form.BtnCancel()), row.button);
    EXPECT_FALSE(IsWindowVisible(window));  // until the engine shows it
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
    EXPECT_EQ(GetParent(window), nullptr);
    form.Close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(form.Handle(), nullptr);
  }
}

TEST_F(ProgressWindow, LayoutAtTheMonitorsDpi) {
  TProgressThread engine(state, nullptr);
  TfmInstProc form;
  form.Create(engine, smInstall);
  HWND window = form.Handle();
  const UINT dpi = ui::MonitorDpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));

  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, ui::Scale(422, dpi));
  EXPECT_EQ(client.bottom, ui::Scale(108, dpi));
  RECT frame{};
  GetWindowRect(window, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  auto inClient = [&](HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  const RECT bar = inClient(form.ProgressBar());
  EXPECT_EQ(bar.right - bar.left, ui::Scale(400, dpi));
  EXPECT_EQ(bar.bottom - bar.top, ui::Scale(16, dpi));
  const RECT button = inClient(form.BtnCancel());
  EXPECT_EQ(button.right - button.left, ui::Scale(75, dpi));
  EXPECT_EQ(button.bottom - button.top, ui::Scale(25, dpi));
  EXPECT_NEAR((button.left + button.right) / 2, client.right / 2, 1);
  EXPECT_GT(button.top, bar.bottom);
  const RECT label = inClient(form.ProcessMesLabel());
  EXPECT_LT(label.bottom, bar.top + 1);
  EXPECT_LT(label.left, ui::Scale(20, dpi));

  PBRANGE range{};
  SendMessageW(form.ProgressBar(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);

  // The system's dialog font, not a fixed one.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
  for (HWND control : {form.ProcessMesLabel(), form.BtnCancel()}) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW used{};
    GetObjectW(font, sizeof(used), &used);
    EXPECT_EQ(std::wstring(used.lfFaceName), std::wstring(metrics.lfMessageFont.lfFaceName));
  }

  // Moved to a monitor of twice the DPI, the window lays itself out again.
  const UINT doubled = dpi * 2;
  RECT suggested{frame.left, frame.top, frame.left + ui::Scale(440, doubled),
                 frame.top + ui::Scale(140, doubled)};
  SendMessageW(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(doubled, doubled),
               reinterpret_cast<LPARAM>(&suggested));
  const RECT bigBar = inClient(form.ProgressBar());
  EXPECT_EQ(bigBar.right - bigBar.left, ui::Scale(400, doubled));
  const RECT bigButton = inClient(form.BtnCancel());
  EXPECT_EQ(bigButton.bottom - bigButton.top, ui::Scale(25, doubled));
  RECT moved{};
  GetWindowRect(window, &moved);
  EXPECT_EQ(moved.right - moved.left, suggested.right - suggested.left);
}

TEST_F(ProgressWindow, ShowsTheEnginesTextAndPercentWhileVisible) {
  TProgressThread engine(state, nullptr);
  TfmInstProc form;
  form.Create(engine, smInstall);
  form.Show();
  ASSERT_TRUE(IsWindowVisible(form.Handle()));
  struct Row {
    int percent;
    const char* text;
    int bar;
  };
  const Row rows[] = {{0, "Создание каталогов", 0},
                      {57, "Распаковка файлов", 57},
                      {100, "Files & registry", 100},
                      {150, "Beyond the end", 100},
                      {-5, "Before the start", 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ASSERT_TRUE(engine.SetProgress(row.percent, row.text, 7));
    EXPECT_TRUE(PumpFor(3s, [&] {
      return Text(form.ProcessMesLabel()) == row.text && BarPosition(form) == row.bar;
    })) << Text(form.ProcessMesLabel()) << " " << BarPosition(form);
  }

  // Closed with the title bar (or Alt+F4): the Cancel question, and the window stays.
  HWND window = form.Handle();
  {
    ScriptedMessages boxes;
    boxes.Expect(mb::kIdNo);
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(PumpFor(3s, [&] { return boxes.Shown().size() == 1; }));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kQuestionRu);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(engine.Terminated());
  }
  // Hidden by the engine: the timer leaves the controls alone; shown again, it shows the
  // progress at once.
  form.Hide();
  ASSERT_TRUE(IsWindow(window));
  ASSERT_TRUE(engine.SetProgress(33, "While hidden", 0));
  PumpFor(600ms);
  EXPECT_EQ(Text(form.ProcessMesLabel()), "Before the start");
  EXPECT_EQ(BarPosition(form), 0);
  form.Show();
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(Text(form.ProcessMesLabel()), "While hidden");
  EXPECT_EQ(BarPosition(form), 33);
  form.Hide();
  EXPECT_FALSE(IsWindowVisible(window));
}

// Cancel in its three cases, answered No and Yes: who is held while the question is open,
// what is done on the answer, and that everything goes on afterwards.
TEST_F(ProgressWindow, CancelHoldsTheWorkerOrTheLibrariesAroundTheQuestion) {
  enum Libraries { kNone, kLoaded, kAsking };
  struct Row {
    const char* name;
    Libraries libraries;
    int answer;
  };
  const Row rows[] = {{"no libraries, No", kNone, mb::kIdNo},
                      {"no libraries, Yes", kNone, mb::kIdYes},
                      {"libraries loaded, No", kLoaded, mb::kIdNo},
                      {"libraries loaded, Yes", kLoaded, mb::kIdYes},
                      {"a library asking, No", kAsking, mb::kIdNo},
                      {"a library asking, Yes", kAsking, mb::kIdYes}};
  SetupGlobals.IsEnglish = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TProgressThread engine(state, nullptr);
    FakeLibraries libraries(row.libraries == kAsking);
    if (row.libraries != kNone) engine.SetLibraries(&libraries);
    // Left hidden: under Xvfb without a window manager every unmapping of a window waits
    // for one that never answers. The run below clicks the shown window.
    TfmInstProc form;
    form.Create(engine, smInstall);

    std::vector<std::future<bool>> pending;
    bool workerHeld = false;
    std::vector<std::string> libraryCallsAtQuestion;
    ScriptedMessages boxes;
    boxes.Expect(row.answer);
    MessageBoxHandler scripted;
    scripted = SetMessageBoxHandler([&](const std::string& text, const std::string& caption,
                                        unsigned flags) {
      workerHeld = WorkerWouldWait(engine, pending);
      libraryCallsAtQuestion = libraries.calls;
      return scripted(text, caption, flags);
    });
    Click(form.BtnCancel());
    EXPECT_TRUE(PumpFor(5s, [&] { return boxes.Shown().size() == 1; }));
    SetMessageBoxHandler(scripted);

    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kQuestionEn);
    EXPECT_EQ(boxes.Shown()[0].caption, SetupGlobals.MessageCaption);
    EXPECT_EQ(boxes.Shown()[0].flags, 0x2004u);
    EXPECT_EQ(workerHeld, row.libraries != kAsking);
    const std::vector<std::string> suspended{"suspend"}, both{"suspend", "resume"};
    EXPECT_EQ(libraryCallsAtQuestion, row.libraries == kNone ? std::vector<std::string>{} : suspended);
    EXPECT_EQ(libraries.calls, row.libraries == kNone ? std::vector<std::string>{} : both);
    EXPECT_EQ(engine.Terminated(), row.answer == mb::kIdYes);
    // Nothing is left paused: the report that waited goes on (and stops when told to).
    ASSERT_EQ(pending.size(), 1u);
    ASSERT_EQ(pending[0].wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending[0].get(), row.libraries == kAsking || row.answer == mb::kIdNo);
    EXPECT_FALSE(WorkerWouldWait(engine, pending));
    engine.Resume();  // frees a worker a failed check left waiting
    engine.SetLibraries(nullptr);
  }
}

TEST_F(ProgressWindow, CancelSurvivesAFailingQuestionAndGoesOn) {
  TProgressThread engine(state, nullptr);
  TfmInstProc form;
  form.Create(engine, smInstall);
  int asked = 0;
  MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string&, const std::string&, unsigned) -> int {
    ++asked;
    throw std::runtime_error("no box today");
  });
  Click(form.BtnCancel());
  EXPECT_TRUE(PumpFor(5s, [&] { return asked == 1; }));
  SetMessageBoxHandler(previous);
  EXPECT_FALSE(engine.Terminated());
  std::vector<std::future<bool>> pending;
  EXPECT_FALSE(WorkerWouldWait(engine, pending));
  engine.Resume();
  EXPECT_TRUE(IsWindow(form.Handle()));
}

// A real installation with the window as the engine's view.
class ProgressWindowRun : public enginetest::EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    Describe({{1, "Base", "base.zip", ""}, {2, "Tools", "tools.zip", ""}});
    WriteArchive("base.zip", {{"readme.txt", "base readme"}, {"bin/", ""}, {"bin/app.exe", "MZ app"}});
    WriteArchive("tools.zip", {{"tools/t1.txt", "tool one"}, {"tools/deep/t2.txt", "tool two"}});
  }

  // Runs an installation; the worker stops at its first report of a step under way (a text
  // and a percent between 0 and 100) and `atPause` runs on the main thread meanwhile.
  bool Run(TfmInstProc& form, const std::function<void(TProgressThread&)>& atPause) {
    auto tree = Tree();
    TSysTree nothing;
    TWizardState wizard;
    wizard.Mode = smInstall;
    wizard.InstallDir = installDir;
    wizard.ProgramGroup = "Prod Group";
    wizard.InstallTree = tree.get();
    wizard.DeleteTree = &nothing;
    TProgressThread engine(wizard, &form);
    std::atomic<bool> paused{false};
    engine.OnProgressReport = [&](int) {
      if (paused) return;
      std::int32_t percent = 0;
      std::string text;
      engine.ReadProgress(percent, text);
      if (!text.empty() && percent > 0 && percent < 100) {
        engine.RequestPause();
        paused = true;
      }
    };
    engine.Start();
    PumpFor(20s, [&] { return paused.load() || engine.Finished(); });
    EXPECT_TRUE(paused);
    if (paused) atPause(engine);
    engine.Resume();  // only matters when a check above failed
    engine.WaitFor();
    return wizard.Succeeded;
  }
};

TEST_F(ProgressWindowRun, ShowsTheRunAndCancelAnsweredNoOrYes) {
  for (int answer : {mb::kIdYes, mb::kIdNo}) {
    SCOPED_TRACE(answer);
    CleanRegistry();
    TfmInstProc form;
    HWND window = nullptr;
    ScriptedMessages boxes;
    boxes.Expect(answer);
    const bool succeeded = Run(form, [&](TProgressThread& engine) {
      window = form.Handle();
      ASSERT_TRUE(IsWindow(window));
      EXPECT_TRUE(IsWindowVisible(window));
      EXPECT_EQ(Text(window), "Установка системы ZTK Engine Test");
      std::int32_t percent = 0;
      std::string text;
      engine.ReadProgress(percent, text);
      EXPECT_TRUE(PumpFor(3s, [&] {
        return Text(form.ProcessMesLabel()) == text && BarPosition(form) == percent;
      })) << text << " " << percent << " shown: " << Text(form.ProcessMesLabel()) << " "
          << BarPosition(form);
      Click(form.BtnCancel());
      EXPECT_TRUE(PumpFor(5s, [&] { return boxes.Shown().size() == 1; }));
      EXPECT_EQ(engine.Terminated(), answer == mb::kIdYes);
    });
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kQuestionRu);
    EXPECT_EQ(boxes.Shown()[0].flags, 0x2004u);
    EXPECT_EQ(succeeded, answer == mb::kIdNo);
    EXPECT_EQ(ReadFileBytes(Installed("tools\\deep\\t2.txt")) == "tool two", answer == mb::kIdNo);
    EXPECT_FALSE(IsWindow(window));  // the engine closed it at its end
    EXPECT_EQ(form.Handle(), nullptr);
  }
}

}  // namespace
