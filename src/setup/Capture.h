// Message boxes and log lines caught in lists instead of shown and written: for reports
// that run the program's own loading code where no one is there to answer (the vendor tool's
// tree report and distribution check).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "setup/LogFiles.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

// A log that keeps its lines in memory instead of writing a file.
class TCollectingLog : public TLogFile {
 public:
  explicit TCollectingLog(std::vector<std::string>& lines) : lines_(lines) {}
  void WriteLine(const std::string& message) override { lines_.push_back(message); }

 private:
  std::vector<std::string>& lines_;
};

// While it lives, every box goes to `sink` (answered as when nobody is there) and every log
// line to `log`; the previous handler and log come back at its end.
class TCaptureScope {
 public:
  TCaptureScope(std::vector<std::string>& messages, std::vector<std::string>& log)
      : TCaptureScope([&messages](const std::string& text) { messages.push_back(text); }, log) {}
  TCaptureScope(std::function<void(const std::string&)> sink, std::vector<std::string>& log)
      : previousHandler_(SetMessageBoxHandler(
            [sink = std::move(sink)](const std::string& text, const std::string&, unsigned flags) {
              sink(text);
              return UnattendedAnswer(flags);
            })),
        previousLog_(std::move(SetupGlobals.Log)) {
    SetupGlobals.Log = std::make_unique<TCollectingLog>(log);
  }
  ~TCaptureScope() {
    SetMessageBoxHandler(previousHandler_);
    SetupGlobals.Log = std::move(previousLog_);
  }
  TCaptureScope(const TCaptureScope&) = delete;
  TCaptureScope& operator=(const TCaptureScope&) = delete;

 private:
  MessageBoxHandler previousHandler_;
  std::unique_ptr<TLogFile> previousLog_;
};
