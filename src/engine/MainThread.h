// Calls run on the main thread for the worker threads (the progress window, the library
// question phase, shell links): the worker posts the call to a hidden window of the main
// thread and waits until the main thread's message loop (or a modal loop, such as a message
// box's) has run it. A call made on the main thread itself runs at once, so nothing waits
// for itself.
#pragma once

#include <functional>

namespace mainthread {

// Makes the calling thread the main thread. Called once at start-up, before any worker.
void Init();
bool IsMainThread();
// Runs the call on the main thread and waits for it; an exception of the call is raised again
// in the caller. Without Init the call runs on the calling thread.
void Run(const std::function<void()>& call);
// Runs the main thread's message loop until `done` answers true (checked after every message
// and at least every 20 ms).
void PumpUntil(const std::function<bool()>& done);

// While a hold lasts, the calls of the other threads wait in their queue: a question that
// pauses the run (Cancel's) runs its own message loop, and a call that was already on its
// way (a library's question, the duplicate-file form) must not open inside it. Holds nest;
// the calls run once the last one ends. Only the main thread holds.
void Hold();
void Release();
class THold {
 public:
  THold() { Hold(); }
  ~THold() { Release(); }
  THold(const THold&) = delete;
  THold& operator=(const THold&) = delete;
};

}  // namespace mainthread
