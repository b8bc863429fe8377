// Every message box of the program goes through one function, ShowMessageBox, whose handler
// is replaceable: the product shows a real (wide) message box, tests script the answers,
// the vendor tool collects the texts.
#pragma once

#include <functional>
#include <string>

namespace mb {
// The Win32 values, so the product hands them to MessageBoxW unchanged.
constexpr unsigned kOk = 0x0000;
constexpr unsigned kOkCancel = 0x0001;
constexpr unsigned kAbortRetryIgnore = 0x0002;
constexpr unsigned kYesNoCancel = 0x0003;
constexpr unsigned kYesNo = 0x0004;
constexpr unsigned kRetryCancel = 0x0005;
constexpr unsigned kIconError = 0x0010;
constexpr unsigned kIconQuestion = 0x0020;
constexpr unsigned kIconExclamation = 0x0030;
constexpr unsigned kIconInformation = 0x0040;
constexpr unsigned kSystemModal = 0x1000;
constexpr unsigned kTaskModal = 0x2000;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
}  // namespace mb

// Shows one box: text and caption in UTF-8, flags as above; returns the button pressed.
using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

// Installs a handler and returns the previous one. An empty handler restores the default,
// UnattendedMessageBox, in every build: the product installs the real message box at its
// start, and an empty handler does not bring that back.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);

// The answer of a program that has no person to ask. A box that only informs (OK alone) is
// answered OK; a box that asks gets the answer that refuses: Cancel where it has a Cancel
// button, otherwise No (Yes/No) or Abort (Abort/Retry/Ignore). So a prompt that would be
// asked again after every OK ("insert the next disk") ends instead of asking for ever.
// Inside a TUnattendedAnswer scope on the same thread, a box that asks gets the scope's answer
// instead: the call site of a question whose safe answer is not the refusing one (an "abort
// the installation?" question, whose safe answer is Yes) declares it there.
int UnattendedAnswer(unsigned flags);

class TUnattendedAnswer {
 public:
  explicit TUnattendedAnswer(int answer);
  ~TUnattendedAnswer();
  TUnattendedAnswer(const TUnattendedAnswer&) = delete;
  TUnattendedAnswer& operator=(const TUnattendedAnswer&) = delete;

 private:
  int previous_;
};
// The handler of a run without a person (the vendor's tool, the native builds, the default):
// writes the caption and text to standard error, answers with UnattendedAnswer, and says
// there which answer it gave to a box that asked; with a log open, the log says it too.
int UnattendedMessageBox(const std::string& text, const std::string& caption, unsigned flags);

// Logs " " + the English text, then shows the text of the program's language.
int ShowBilingualMessage(const std::string& russian, const std::string& english,
                         const std::string& caption, unsigned flags);
// Logs " " + the text, then shows it. For the few texts that exist in one language only.
int ShowLoggedMessage(const std::string& text, const std::string& caption, unsigned flags);

// The flags of the program's three kinds of box.
constexpr unsigned kErrorBox = mb::kIconError | mb::kTaskModal;
constexpr unsigned kQuestionBox = mb::kYesNo | mb::kIconQuestion | mb::kTaskModal;
constexpr unsigned kNoticeBox = mb::kIconExclamation | mb::kTaskModal;
