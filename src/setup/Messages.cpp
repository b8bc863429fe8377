#include "setup/Messages.h"

#include <cstdio>
#include <mutex>

#include "setup/SetupGlobals.h"

namespace {

std::mutex gHandlerLock;

int DefaultHandler(const std::string& text, const std::string& caption, unsigned) {
  std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
  return mb::kIdOk;
}

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler = DefaultHandler;
  return handler;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(gHandlerLock);
  MessageBoxHandler previous = Handler();
  Handler() = handler ? std::move(handler) : MessageBoxHandler(DefaultHandler);
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
