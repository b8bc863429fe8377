#include "unzip/Streams.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The stream messages, one table so every text lives in one place.
struct StreamText {
  int key;
  const char* text;
};
constexpr StreamText kStreamTexts[] = {
    {1, "Seek error"},
    {2, "Invalid seek origin (%d)"},
    {3, "Putback overflow"},
    {4, "Cannot find resource"},
    {5, "Cannot access resource"},
    {6, "Seek past end of resource stream"},
    {7, "Cannot write to a resource stream"},
};

std::string FormatInt(const std::string& format, long long value) {
  std::string out;
  auto at = format.find("%d");
  if (at == std::string::npos) return format;
  out = format.substr(0, at) + std::to_string(value) + format.substr(at + 2);
  return out;
}

}  // namespace

std::string StreamMessage(int key) {
  for (const auto& t : kStreamTexts) {
    if (t.key == key) return t.text;
  }
  return {};
}

// ---------------------------------------------------------------------------------------
// TStream

std::int64_t TStream::Size() {
  std::int64_t position = Seek(0, soFromCurrent);
  std::int64_t size = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

// ---------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
  switch (mode) {
    case TFileMode::fmOpenReadShareDenyWrite:
      file_ = os::OpenFile(fileName, os::OpenMode::Read, true);
      break;
    case TFileMode::fmOpenRead:
      file_ = os::OpenFile(fileName, os::OpenMode::Read, false);
      break;
    case TFileMode::fmOpenReadWrite:
      file_ = os::OpenFile(fileName, os::OpenMode::ReadWrite, false);
      break;
    case TFileMode::fmCreate:
    case TFileMode::fmCreateNew:
      file_ = os::OpenFile(fileName,
                           mode == TFileMode::fmCreate ? os::OpenMode::Create : os::OpenMode::CreateNew,
                           false);
      if (!file_.IsOpen()) {
        throw EFCreateError("Cannot create file \"" + fileName + "\". " + os::LastErrorMessage());
      }
      return;
  }
  if (!file_.IsOpen()) {
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + os::LastErrorMessage());
  }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  return file_.Read(buffer, count);
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
  file_.Write(buffer, count);
  return count;
}

std::int64_t TFileStream::Seek(std::int64_t offset, int origin) {
  switch (origin) {
    case soFromBeginning: return file_.Seek(offset, os::SeekOrigin::Begin);
    case soFromCurrent: return file_.Seek(offset, os::SeekOrigin::Current);
    case soFromEnd: return file_.Seek(offset, os::SeekOrigin::End);
  }
  throw Exception(FormatInt(StreamMessage(2), origin));
}

std::int64_t TFileStream::Size() { return file_.Size(); }

// ---------------------------------------------------------------------------------------
// TMemoryStream

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  auto size = static_cast<std::int64_t>(data_.size());
  if (position_ >= size) return 0;
  std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(size - position_));
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  auto end = static_cast<std::size_t>(position_) + count;
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = static_cast<std::int64_t>(end);
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, int origin) {
  std::int64_t target;
  switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = position_ + offset; break;
    case soFromEnd: target = static_cast<std::int64_t>(data_.size()) + offset; break;
    default: throw Exception(FormatInt(StreamMessage(2), origin));
  }
  if (target < 0) throw EStreamError(StreamMessage(1));
  position_ = target;
  return target;
}

// ---------------------------------------------------------------------------------------
// TS_BufferStream
//
// While reading, buffer_[pos_, end_) holds bytes read ahead of the logical position; while
// writing, buffer_[0, pos_) holds bytes not yet written. The underlying stream's position is
// always the end of what was read or written through it.

TS_BufferStream::TS_BufferStream(TStream* stream) : stream_(stream), buffer_(kBufferSize) {}

TS_BufferStream::~TS_BufferStream() { FlushQuietly(); }

void TS_BufferStream::FlushQuietly() noexcept {
  if (state_ != bufWriting) return;
  try {
    Flush();
  } catch (...) {
    // A destructor has nobody to tell; FlushBuffer is the way to see write errors.
  }
}

void TS_BufferStream::FlushBuffer() {
  if (state_ == bufWriting && !Flush()) throw EWriteError("Stream write error");
}

std::size_t TS_BufferStream::PendingBytes() const {
  if (state_ == bufReading) return end_ - pos_;
  if (state_ == bufWriting) return pos_;
  return 0;
}

bool TS_BufferStream::Refill() {
  std::size_t n = stream_->Read(buffer_.data(), kBufferSize);
  pos_ = 0;
  end_ = n;
  state_ = n > 0 ? bufReading : bufEmpty;
  NotifyRefill();
  return n > 0;
}

bool TS_BufferStream::Flush() {
  std::size_t pending = state_ == bufWriting ? pos_ : 0;
  std::size_t written = pending == 0 ? 0 : stream_->Write(buffer_.data(), pending);
  pos_ = 0;
  end_ = 0;
  state_ = bufEmpty;
  NotifyFlush();
  return written == pending;
}

void TS_BufferStream::NotifyRefill() {
  if (AfterRefill) AfterRefill(this);
}

void TS_BufferStream::NotifyFlush() {
  if (AfterFlush) AfterFlush(this);
}

void TS_BufferStream::DropReadAhead() {
  if (state_ != bufReading) return;
  std::size_t ahead = end_ - pos_;
  if (ahead != 0) stream_->Seek(-static_cast<std::int64_t>(ahead), soFromCurrent);
  pos_ = 0;
  end_ = 0;
  state_ = bufEmpty;
}

std::size_t TS_BufferStream::Read(void* buffer, std::size_t count) {
  if (state_ == bufWriting && !Flush()) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    if (state_ != bufReading || pos_ >= end_) {
      if (!Refill()) break;
    }
    std::size_t n = std::min(count - done, end_ - pos_);
    std::memcpy(out + done, buffer_.data() + pos_, n);
    pos_ += n;
    done += n;
  }
  return done;
}

std::size_t TS_BufferStream::Write(const void* buffer, std::size_t count) {
  DropReadAhead();
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    std::size_t n = std::min(count - done, kBufferSize - pos_);
    std::memcpy(buffer_.data() + pos_, in + done, n);
    pos_ += n;
    state_ = bufWriting;
    if (pos_ == kBufferSize && !Flush()) break;
    done += n;
  }
  return done;
}

std::int64_t TS_BufferStream::Seek(std::int64_t offset, int origin) {
  std::int64_t underlying = stream_->Seek(0, soFromCurrent);
  std::int64_t logical = underlying;
  if (state_ == bufReading) logical -= static_cast<std::int64_t>(end_ - pos_);
  if (state_ == bufWriting) logical += static_cast<std::int64_t>(pos_);

  std::int64_t target;
  switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = logical + offset; break;
    case soFromEnd: {
      // From the end the offset always counts backwards, whatever its sign.
      std::int64_t size = std::max(stream_->Size(), logical);
      target = size - (offset < 0 ? -offset : offset);
      break;
    }
    default: throw Exception(FormatInt(StreamMessage(2), origin));
  }
  if (target == logical) return target;
  if (state_ == bufWriting && !Flush()) throw EStreamError(StreamMessage(1));
  if (target < 0) throw EStreamError(StreamMessage(1));
  stream_->Seek(target, soFromBeginning);
  pos_ = 0;
  end_ = 0;
  state_ = bufEmpty;
  return target;
}

std::int64_t TS_BufferStream::Size() {
  std::int64_t underlying = stream_->Size();
  std::int64_t logical = Seek(0, soFromCurrent);
  return std::max(underlying, logical);
}

void TS_BufferStream::PutBack(std::uint8_t byte) {
  if (state_ != bufReading || pos_ == 0) throw EStreamError(StreamMessage(3));
  buffer_[--pos_] = byte;
}

// ---------------------------------------------------------------------------------------
// TLFNFileStream

TLFNFileStream::TLFNFileStream(const std::string& fileName, TFileMode mode)
    : TS_BufferStream(nullptr), file_(std::make_unique<TFileStream>(fileName, mode)) {
  SetUnderlying(file_.get());
}

TLFNFileStream::~TLFNFileStream() {
  // The buffer goes out before the file it writes to.
  FlushQuietly();
}

std::uint32_t TLFNFileStream::FileDosDateTime() const {
  return os::GetFileDosDateTime(file_->FileName());
}
