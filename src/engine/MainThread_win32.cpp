#include "engine/MainThread.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace mainthread {
namespace {

constexpr UINT kRunCalls = WM_APP + 1;

struct TCall {
  const std::function<void()>* Call = nullptr;
  std::exception_ptr Error;
  bool Done = false;
};

DWORD gMainThreadId = 0;
HWND gWindow = nullptr;
std::mutex gLock;
std::condition_variable gDone;
std::deque<TCall*> gQueue;
int gHolds = 0;  // touched on the main thread only

void RunQueued() {
  for (;;) {
    TCall* call = nullptr;
    {
      std::lock_guard<std::mutex> lock(gLock);
      if (gQueue.empty() || gHolds > 0) return;
      call = gQueue.front();
      gQueue.pop_front();
    }
    try {
      (*call->Call)();
    } catch (...) {
      call->Error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(gLock);
      call->Done = true;
    }
    gDone.notify_all();
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCalls) {
    RunQueued();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void Init() {
  gMainThreadId = GetCurrentThreadId();
  if (gWindow) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZtkSetupMainThreadCalls";
  RegisterClassW(&wc);
  // A message-only window: it receives posted messages in every loop of the thread,
  // modal ones included, which a thread message would not.
  gWindow = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
}

bool IsMainThread() { return gMainThreadId == 0 || GetCurrentThreadId() == gMainThreadId; }

void Run(const std::function<void()>& call) {
  if (IsMainThread() || !gWindow) {
    call();
    return;
  }
  TCall request;
  request.Call = &call;
  {
    std::unique_lock<std::mutex> lock(gLock);
    gQueue.push_back(&request);
    PostMessageW(gWindow, kRunCalls, 0, 0);
    gDone.wait(lock, [&] { return request.Done; });
  }
  if (request.Error) std::rethrow_exception(request.Error);
}

void PumpUntil(const std::function<bool()>& done) {
  while (!done()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    RunQueued();  // calls whose message a foreign loop may have dropped
  }
}

void Hold() { ++gHolds; }

void Release() {
  if (gHolds == 0 || --gHolds > 0) return;
  // The calls that came meanwhile had their message already: whatever loop runs next takes
  // them up.
  bool waiting = false;
  {
    std::lock_guard<std::mutex> lock(gLock);
    waiting = !gQueue.empty();
  }
  if (waiting && gWindow) PostMessageW(gWindow, kRunCalls, 0, 0);
}

}  // namespace mainthread
