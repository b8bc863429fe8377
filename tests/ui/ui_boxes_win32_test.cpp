// The program's real message boxes under Wine: owned by the window the person works in (also
// when a worker asks), above it even when it is always on top, and that window disabled
// while the box is open; and the Cancel question as a pause: nested questions count, and a
// call the worker sends to the main thread meanwhile waits for the answer.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/testsupport.h"
#include "common/win32.h"
#include "engine/MainThread.h"
#include "engine/ProgressThread.h"
#include "setup/Messages.h"
#include "setup/Platform_win32.h"
#include "setup/SetupGlobals.h"
#include "ui/InstProc_win32.h"
#include "ui/Mnemonics_win32.h"
#include "ui/ui_driving_win32.h"

using namespace std::chrono_literals;

namespace {

// The open message box of this process, if any.
HWND OpenBox() {
  struct TSearch {
    HWND Found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (pid != GetCurrentProcessId() || std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
        reinterpret_cast<TSearch*>(param)->Found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// Is `upper` above `lower` in the z-order of the top-level windows?
bool Above(HWND upper, HWND lower) {
  for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == lower) return true;
  }
  return false;
}

struct TBoxSeen {
  bool Opened = false;
  HWND Owner = nullptr;
  bool OwnerEnabled = true;
  bool AboveOwner = false;
  bool Topmost = false;
};

// Pumps this thread's messages until a box is open, notes what it is owned by, and answers it.
TBoxSeen SeeAndAnswerBox(const std::function<bool()>& answered) {
  TBoxSeen seen;
  HWND box = nullptr;
  uitest::PumpUntil([&] { return (box = OpenBox()) != nullptr; });
  if (!box) return seen;
  seen.Opened = true;
  seen.Owner = GetWindow(box, GW_OWNER);
  seen.OwnerEnabled = seen.Owner && IsWindowEnabled(seen.Owner);
  seen.AboveOwner = seen.Owner && Above(box, seen.Owner);
  seen.Topmost = (GetWindowLongPtrW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  uitest::Click(GetDlgItem(box, IDOK));
  uitest::PumpUntil(answered);
  return seen;
}

HWND MakeWindow(DWORD exStyle, const wchar_t* caption) {
  HWND window = CreateWindowExW(exStyle, L"STATIC", caption, WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 100, 100, 300,
                                150, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(window, nullptr);
  return window;
}

class Boxes : public ::testing::Test {
 protected:
  void SetUp() override {
    mainthread::Init();
    background_ = CreateWindowExW(0, L"STATIC", L"background", WS_OVERLAPPED | WS_VISIBLE | WS_DISABLED, 0, 0, 400, 300,
                                  nullptr, nullptr, nullptr, nullptr);
    SetMessageOwner(background_);
  }
  void TearDown() override {
    SetMessageOwner(nullptr);
    DestroyWindow(background_);
  }
  HWND background_ = nullptr;
};

TEST_F(Boxes, OwnedByTheActiveWindowAndAboveItAlsoWhenAWorkerAsks) {
  struct Row {
    const char* name;
    DWORD exStyle;
    bool fromWorker;
  };
  const Row rows[] = {{"a window, main thread", 0, false},
                      {"an always-on-top window, main thread", WS_EX_TOPMOST, false},
                      {"an always-on-top window, a worker", WS_EX_TOPMOST, true},
                      {"a window, a worker", 0, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HWND front = MakeWindow(row.exStyle, L"front");
    SetForegroundWindow(front);
    SetActiveWindow(front);
    uitest::PumpPending();
    std::atomic<int> answer{0};
    TBoxSeen seen;
    if (row.fromWorker) {
      std::thread worker([&] { answer = Win32MessageBox("Плохой архив !!!", "", kErrorBox); });
      seen = SeeAndAnswerBox([&] { return answer != 0; });
      worker.join();
    } else {
      // The box's own loop runs the timer that looks at it.
      static std::function<void()> look;
      look = [&] { seen = SeeAndAnswerBox([] { return OpenBox() == nullptr; }); };
      SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        look();
      });
      answer = Win32MessageBox("Прервать установку?", "", mb::kOk | mb::kTaskModal);
    }
    EXPECT_EQ(answer, mb::kIdOk);
    EXPECT_TRUE(seen.Opened);
    EXPECT_EQ(seen.Owner, front);
    EXPECT_FALSE(seen.OwnerEnabled);  // the window takes no input under its box
    EXPECT_TRUE(seen.AboveOwner);
    EXPECT_EQ(seen.Topmost, row.exStyle == WS_EX_TOPMOST);
    EXPECT_TRUE(IsWindowEnabled(front));  // and takes it again afterwards
    DestroyWindow(front);
    uitest::PumpPending();
  }
}

TEST_F(Boxes, WithoutAWindowToWorkInTheBackgroundOwnsThem) {
  uitest::PumpPending();
  EXPECT_EQ(MessageBoxOwner(), background_);
  // A hidden window is no owner either.
  HWND hidden = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(MessageBoxOwner(), background_);
  DestroyWindow(hidden);
}

// Would the worker wait at its next progress report now? (See ui_progress_win32_test.)
bool WorkerWouldWait(TProgressThread& engine, std::vector<std::future<bool>>& pending) {
  pending.push_back(std::async(std::launch::async, [&engine] { return engine.CheckPause(); }));
  return pending.back().wait_for(150ms) == std::future_status::timeout;
}

class CancelQuestion : public ::testing::Test {
 protected:
  void SetUp() override {
    mainthread::Init();
    SetupGlobals.IsEnglish = false;
  }
  TWizardState state;
};

TEST_F(CancelQuestion, ASecondQuestionAnsweredNoKeepsTheWorkerHeldUntilTheFirstIsAnswered) {
  TProgressThread engine(state, nullptr);
  TfmInstProc form;
  form.Create(engine, smInstall);
  std::vector<std::future<bool>> pending;
  int questions = 0;
  bool heldAfterSecond = false;
  MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string&, const std::string&, unsigned) {
    if (++questions == 1) {
      form.BtnCancelClick();  // Cancel again (Esc, Alt+F4) while the first question is open
      heldAfterSecond = WorkerWouldWait(engine, pending);
      return mb::kIdYes;
    }
    return mb::kIdNo;
  });
  form.BtnCancelClick();
  SetMessageBoxHandler(previous);
  EXPECT_EQ(questions, 2);
  EXPECT_TRUE(heldAfterSecond);
  EXPECT_TRUE(engine.Terminated());
  for (auto& report : pending) {
    ASSERT_EQ(report.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(report.get());  // stopped by the first answer
  }
}

TEST_F(CancelQuestion, ACallToTheMainThreadOnItsWayWaitsForTheAnswer) {
  for (int answer : {mb::kIdNo, mb::kIdYes}) {
    SCOPED_TRACE(answer);
    TProgressThread engine(state, nullptr);
    TfmInstProc form;
    form.Create(engine, smInstall);
    std::atomic<bool> ran{false}, sent{false};
    bool terminatedWhenRan = false;
    bool ranDuringQuestion = true;
    std::thread worker;
    MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string&, const std::string&, unsigned) {
      // The worker asks the main thread for a form just as the question opens; the question's
      // loop runs the thread's messages meanwhile.
      worker = std::thread([&] {
        sent = true;
        mainthread::Run([&] {
          terminatedWhenRan = engine.Terminated();
          ran = true;
        });
      });
      uitest::PumpUntil([&] { return sent.load(); });
      const auto until = std::chrono::steady_clock::now() + 500ms;
      uitest::PumpUntil([&] { return ran || std::chrono::steady_clock::now() > until; });
      ranDuringQuestion = ran;
      return answer;
    });
    form.BtnCancelClick();
    SetMessageBoxHandler(previous);
    EXPECT_FALSE(ranDuringQuestion);
    mainthread::PumpUntil([&] { return ran.load(); });
    worker.join();
    EXPECT_EQ(terminatedWhenRan, answer == mb::kIdYes);
  }
}

}  // namespace

namespace {

// Every button text gets a letter, and the buttons a page shows at once have different ones.
TEST(ButtonLetters, DistinctOnEveryPageInBothLanguages) {
  const std::vector<std::vector<std::string>> pages = {
      {"< Назад", "Далее >", "Выход", "Выбрать"}, {"< Назад", "Согласен", "Выход"},
      {"< Назад", "Установить", "Выход"},          {"< Назад", "Выполнить", "Выход"},
      {"Back", "Next", "Exit", "Browse"},          {"Back", "Next >", "Exit"},
      {"Back", "I Agree", "Exit"},                 {"Back", "Install", "Exit"},
      {"Back", "Add/Del", "Exit"},                 {"Отмена"},
      {"Cancel"}};
  for (const auto& page : pages) {
    std::vector<std::wstring> letters;
    for (const std::string& text : page) {
      SCOPED_TRACE(text);
      const std::string marked = ui::WithMnemonic(text);
      EXPECT_EQ(ui::WithoutMnemonic(marked), text);
      const std::wstring wide = win32::Wide(marked);
      const size_t at = wide.find(L'&');
      ASSERT_NE(at, std::wstring::npos);
      std::wstring letter = wide.substr(at + 1, 1);
      CharUpperW(letter.data());
      for (const std::wstring& other : letters) EXPECT_NE(letter, other);
      letters.push_back(letter);
    }
  }
  EXPECT_EQ(ui::WithMnemonic("Files & more"), "Files & more");  // a text without a letter stays
}

}  // namespace
