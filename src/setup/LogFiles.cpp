#include "setup/LogFiles.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

#include "common/errors.h"
#include "common/text.h"

namespace {

// Tenths of a millisecond in one day.
constexpr std::int64_t kTicksPerDay = 864'000'000;
constexpr std::int64_t kTicksPerHour = 36'000'000;
constexpr std::int64_t kTicksPerMinute = 600'000;
constexpr std::int64_t kTicksPerSecond = 10'000;

constexpr char kLineEnd[] = "\r\n";
constexpr char kHeaderSeparator[] = "-----------";  // eleven hyphens

}  // namespace

std::string FormatLogTimeStamp(const TLocalDateTime& when) {
  // A fraction outside the day cannot come from a real clock; keep it inside so the fields
  // never turn negative or run past hour 24.
  double fraction = when.DayFraction;
  if (!(fraction >= 0.0)) fraction = 0.0;  // also catches NaN
  if (fraction > 1.0) fraction = 1.0;
  // The last 0.05 ms of a day round up to the whole day and print as 24:00:00.0000 of the
  // day that is ending, not as midnight of the next one.
  const std::int64_t t = std::llround(fraction * static_cast<double>(kTicksPerDay));
  const auto hours = t / kTicksPerHour;
  const auto minutes = (t % kTicksPerHour) / kTicksPerMinute;
  const auto seconds = (t % kTicksPerMinute) / kTicksPerSecond;
  const auto tenthsOfMs = t % kTicksPerSecond;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d %02lld:%02lld:%02lld.%04lld", when.Day,
                when.Month, when.Year, static_cast<long long>(hours),
                static_cast<long long>(minutes), static_cast<long long>(seconds),
                static_cast<long long>(tenthsOfMs));
  return buffer;
}

TLocalDateTime CurrentLocalDateTime() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  // to_time_t may round; take the sub-second part relative to what it returned.
  auto sub = duration_cast<microseconds>(now - system_clock::from_time_t(seconds)).count();
  if (sub < 0) sub = 0;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  TLocalDateTime result;
  result.Year = local.tm_year + 1900;
  result.Month = local.tm_mon + 1;
  result.Day = local.tm_mday;
  const double secondOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 +
                             std::min(local.tm_sec, 59) + static_cast<double>(sub) / 1e6;
  result.DayFraction = secondOfDay / 86400.0;
  if (result.DayFraction >= 1.0) result.DayFraction = std::nextafter(1.0, 0.0);
  return result;
}

TLogFile::TLogFile() : Clock(CurrentLocalDateTime), Sleep(os::SleepMs) {}

void TLogFile::SetFileName(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (name == fileName_) return;
  fileName_ = name;
  headerPending_ = true;
  open_.Close();  // the next line goes to the new file
}

void TLogFile::BeginKeepOpen() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  ++keepOpen_;
}

void TLogFile::EndKeepOpen() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (keepOpen_ > 0 && --keepOpen_ == 0) open_.Close();
}

bool TLogFile::HoldsFile() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return open_.IsOpen();
}

void TLogFile::SetHeader(const std::string& header) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  header_ = header;
  headerPending_ = true;
}

bool TLogFile::HeaderPending() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return headerPending_;
}

bool TLogFile::Failing() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return failing_;
}

std::string TLogFile::GetTimeStamp() {
  return FormatLogTimeStamp(Clock ? Clock() : CurrentLocalDateTime());
}

std::string TLogFile::GetHeaderLine() {
  if (!FormatHeader) return header_;
  std::string line = header_;
  line += kHeaderSeparator;
  line += '[';
  line += GetTimeStamp();
  line += ']';
  return line;
}

std::string TLogFile::GetMessageLine(const std::string& message) {
  if (!FormatString) return message;
  // Appended piece by piece: GCC 12 warns falsely about "literal" + std::string.
  std::string line = "[";
  line += GetTimeStamp();
  line += "]:";
  line += message;
  return line;
}

os::File TLogFile::OpenLogStream() {
  int failures = 0;
  for (;;) {
    try {
      os::File file;
      if (os::FileExists(fileName_)) {
        file = os::OpenFile(fileName_, os::OpenMode::ReadWrite, /*denyWriters*/ true);
        if (!file.IsOpen()) throw EInOutError(os::LastErrorMessage());
        file.Seek(0, os::SeekOrigin::End);  // a failure here closes the file on unwinding
      } else {
        file = os::OpenFile(fileName_, os::OpenMode::Create, /*denyWriters*/ true);
        if (!file.IsOpen()) throw EInOutError(os::LastErrorMessage());
      }
      return file;
    } catch (const EInOutError&) {
      // While the log is failing, one look is all a line gets.
      if (failing_) throw;
      // Another writer (a second thread of ours or another program) may hold the file for a
      // moment; give it about five seconds before giving up.
      if (Sleep) {
        Sleep(kRetryPauseMs);
      } else {
        os::SleepMs(kRetryPauseMs);
      }
      ++failures;
      if (failures > kMaxOpenFailures) throw;
    }
  }
}

void TLogFile::WriteLine(const std::string& message) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (fileName_.empty()) return;
  try {
    // While held, the file opened for the first line takes the next ones too.
    os::File own;
    if (keepOpen_ == 0 || !open_.IsOpen()) own = OpenLogStream();
    os::File& file = own.IsOpen() ? own : open_;
    std::string lines;
    if (headerPending_ && WriteHeader) {
      lines += GetHeaderLine();
      lines += kLineEnd;
    }
    lines += GetMessageLine(message);
    lines += kLineEnd;
    const std::string bytes = text::Utf8ToAnsi(lines);
    file.Write(bytes.data(), bytes.size());
    headerPending_ = false;
    if (keepOpen_ > 0 && own.IsOpen()) open_ = std::move(own);
    own.Close();
  } catch (...) {
    // A file that failed a write is opened afresh for the next line.
    open_.Close();
    failing_ = true;
    throw;
  }
  failing_ = false;
}
