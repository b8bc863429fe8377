#include "setup/Messages.h"

#include <cstdio>
#include <mutex>

#include "setup/SetupGlobals.h"

namespace {

std::mutex gHandlerLock;

constexpr unsigned kButtonsMask = 0x000F;

const char* AnswerName(int answer) {
  switch (answer) {
    case mb::kIdOk: return "OK";
    case mb::kIdCancel: return "Cancel";
    case mb::kIdAbort: return "Abort";
    case mb::kIdRetry: return "Retry";
    case mb::kIdIgnore: return "Ignore";
    case mb::kIdYes: return "Yes";
    case mb::kIdNo: return "No";
  }
  return "?";
}

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler = UnattendedMessageBox;
  return handler;
}

// The answer of the innermost TUnattendedAnswer scope of this thread; 0 outside any.
thread_local int scopedAnswer = 0;

}  // namespace

TUnattendedAnswer::TUnattendedAnswer(int answer) : previous_(scopedAnswer) {
  scopedAnswer = answer;
}

TUnattendedAnswer::~TUnattendedAnswer() { scopedAnswer = previous_; }

int UnattendedAnswer(unsigned flags) {
  if ((flags & kButtonsMask) != mb::kOk && scopedAnswer != 0) return scopedAnswer;
  switch (flags & kButtonsMask) {
    case mb::kOk: return mb::kIdOk;
    case mb::kYesNo: return mb::kIdNo;
    case mb::kAbortRetryIgnore: return mb::kIdAbort;
    default: return mb::kIdCancel;  // OK/Cancel, Yes/No/Cancel, Retry/Cancel and the rest
  }
}

int UnattendedMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  const int answer = UnattendedAnswer(flags);
  std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
  if ((flags & kButtonsMask) != mb::kOk) {
    std::fprintf(stderr, "(no one to ask: answered %s)\n", AnswerName(answer));
    WriteLog(std::string(" no one to ask, answered ") + AnswerName(answer) + ": " + text);
  }
  return answer;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(gHandlerLock);
  MessageBoxHandler previous = Handler();
  Handler() = handler ? std::move(handler) : MessageBoxHandler(UnattendedMessageBox);
  return previous;
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(gHandlerLock);
    handler = Handler();
  }
  return handler(text, caption, flags);
}

int ShowBilingualMessage(const std::string& russian, const std::string& english,
                         const std::string& caption, unsigned flags) {
  WriteLog(" " + english);
  return ShowMessageBox(SetupGlobals.IsEnglish ? english : russian, caption, flags);
}

int ShowLoggedMessage(const std::string& text, const std::string& caption, unsigned flags) {
  WriteLog(" " + text);
  return ShowMessageBox(text, caption, flags);
}
