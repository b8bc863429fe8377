// TLogFile: appends one time-stamped line per call to a text file, opening and closing the
// file for each line so that the file on disk is complete after every call.
//
// A step that writes a line per extracted file keeps the file open for its duration
// (TLogFile::TKeepOpen): opening a file costs more than writing a line, many times more
// under an emulation layer. Each line is still handed to the system by the call that writes
// it, with no buffer of ours in between, so it is in the file when WriteLine returns, a crash
// of the program cannot lose it, and readers that allow writers see it at once; only other
// writers wait until the step is over.
//
// A line reads "[dd.mm.yyyy hh:mm:ss.ffff]:" + message + CR LF, where ffff counts tenths of
// a millisecond. An optional header line (Header + 11 hyphens + "[" stamp "]") precedes the
// first message after FileName or Header changed.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/osfile.h"

// A local date and time split into fields, with the time of day as a fraction.
struct TLocalDateTime {
  int Year = 0, Month = 0, Day = 0;
  double DayFraction = 0.0;  // 0 <= fraction < 1, the part of the day gone by
};

class TLogFile {
 public:
  TLogFile();
  virtual ~TLogFile() = default;
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name);
  const std::string& Header() const { return header_; }
  void SetHeader(const std::string& header);

  bool FormatHeader = true;
  bool FormatString = true;
  bool WriteHeader = true;

  virtual std::string GetTimeStamp();
  virtual std::string GetHeaderLine();
  virtual std::string GetMessageLine(const std::string& message);
  // Opens the file for appending. A failed attempt is retried after a pause, up to 51
  // attempts in all; but after a line was lost, one attempt without a pause, until a line
  // gets through again.
  virtual os::File OpenLogStream();
  // Writes the message (UTF-8; written in the ANSI code page). Raises EInOutError when the
  // file stays locked for 51 attempts (for one attempt while the log is failing).
  virtual void WriteLine(const std::string& message);

  // From the next line on, the file stays open between lines until EndKeepOpen has been
  // called as often as BeginKeepOpen. A line that cannot be written closes it; the next line
  // opens it again (with the usual attempts).
  void BeginKeepOpen();
  void EndKeepOpen();
  // True while the file is held open between lines.
  bool HoldsFile() const;

  // BeginKeepOpen for its lifetime; a null log is allowed and does nothing.
  class TKeepOpen {
   public:
    explicit TKeepOpen(TLogFile* log) : log_(log) {
      if (log_) log_->BeginKeepOpen();
    }
    ~TKeepOpen() {
      if (log_) log_->EndKeepOpen();
    }
    TKeepOpen(const TKeepOpen&) = delete;
    TKeepOpen& operator=(const TKeepOpen&) = delete;

   private:
    TLogFile* log_;
  };

  // Where the time comes from; tests replace it.
  std::function<TLocalDateTime()> Clock;
  // How a failed open waits before the next attempt; tests replace it.
  std::function<void(unsigned ms)> Sleep;

  // True while a header line is due before the next message line.
  bool HeaderPending() const;
  // True after a line was lost, until a line is written again.
  bool Failing() const;

  static constexpr int kMaxOpenFailures = 50;  // 51 attempts in all
  static constexpr unsigned kRetryPauseMs = 100;

 private:
  std::string fileName_;
  std::string header_;
  bool headerPending_ = true;
  // A locked log must not cost five seconds for every further line of the run.
  bool failing_ = false;
  int keepOpen_ = 0;  // BeginKeepOpen calls not yet ended
  os::File open_;     // the file held open while keepOpen_ > 0
  // The engine's threads share one log; this keeps their lines from interleaving inside
  // the process (other processes are kept out by the writers-denied open).
  mutable std::recursive_mutex lock_;
};

// The stamp of a moment: "dd.mm.yyyy hh:mm:ss.ffff". The fraction of the day times
// 864 000 000, rounded, gives tenths of a millisecond; the last 0.05 ms of a day print as
// hour 24 of that day.
std::string FormatLogTimeStamp(const TLocalDateTime& when);
// The current local date and time.
TLocalDateTime CurrentLocalDateTime();
