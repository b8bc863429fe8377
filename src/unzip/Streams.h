// Streams under the ZIP reader.
//
//   TStream            the abstract byte stream (read, write, seek, size)
//   TFileStream        a file through the portable file functions, unbuffered
//   TMemoryStream      bytes in memory (tests, the fuzz target)
//   TS_BufferStream    an 8192-byte buffer in front of another stream
//   TLFNFileStream     a buffered file stream that owns its TFileStream
//
// The reader reads archives through TLFNFileStream and does many small reads (headers, single
// bytes of the directory rebuild); the buffer turns them into few reads of the file. Every
// stream is used in one direction only, but mixing is kept consistent: a read after writes
// flushes first, a write after reads drops the read-ahead and moves the file back to the
// logical position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/osfile.h"

DECLARE_EXCEPTION(EStreamError, Exception);
DECLARE_EXCEPTION(EFileStreamError, EStreamError);
DECLARE_EXCEPTION(EFOpenError, EFileStreamError);    // "Cannot open file \"%s\". <reason>"
DECLARE_EXCEPTION(EFCreateError, EFileStreamError);  // "Cannot create file \"%s\". <reason>"
DECLARE_EXCEPTION(EReadError, EStreamError);         // "Stream read error"
DECLARE_EXCEPTION(EWriteError, EStreamError);        // "Stream write error"

// Seek origins, with the values the streams have always used.
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

// The texts of the stream messages, by key (1 "Seek error", 2 "Invalid seek origin (%d)",
// 3 "Putback overflow", 4..7 unused by the reader). Empty for an unknown key.
std::string StreamMessage(int key);

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes up to count bytes; returns how many were taken.
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, int origin) = 0;
  virtual std::int64_t Size();

  std::int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soFromBeginning); }
  // Reads or writes exactly count bytes, else EReadError / EWriteError.
  void ReadBuffer(void* buffer, std::size_t count);
  void WriteBuffer(const void* buffer, std::size_t count);
};

// How a file stream opens its file.
enum class TFileMode {
  fmOpenReadShareDenyWrite,  // an archive: read, other writers denied
  fmOpenRead,                // further disks of a set
  fmOpenReadWrite,           // an existing file, read and write
  fmCreate,                  // create or truncate
  fmCreateNew,               // create a file that must not exist yet (renamable while open)
};

class TFileStream : public TStream {
 public:
  // Opens the file; EFOpenError (EFCreateError for fmCreate) when that fails.
  TFileStream(const std::string& fileName, TFileMode mode);
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t Size() override;
  const std::string& FileName() const { return fileName_; }
  // The open file itself, for what is done through it rather than by name.
  os::File& File() { return file_; }

 private:
  os::File file_;
  std::string fileName_;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
  std::int64_t position_ = 0;
};

enum TBufferState { bufEmpty = 0, bufReading = 1, bufWriting = 2 };

class TS_BufferStream : public TStream {
 public:
  static constexpr std::size_t kBufferSize = 8192;
  using TNotify = std::function<void(TS_BufferStream* sender)>;

  // The underlying stream is not owned.
  explicit TS_BufferStream(TStream* stream);
  ~TS_BufferStream() override;
  TS_BufferStream(const TS_BufferStream&) = delete;
  TS_BufferStream& operator=(const TS_BufferStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  // Origin 2 counts from the end whatever the sign of the offset. Seeking to the logical
  // position keeps the buffer.
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t Size() override;
  // Un-reads one byte: the next Read delivers it. "Putback overflow" when nothing was read
  // from the current buffer.
  virtual void PutBack(std::uint8_t byte);
  // Writes pending bytes out now, so that a failure is seen by the caller rather than lost
  // in the destructor: EWriteError when the underlying stream takes fewer bytes.
  void FlushBuffer();

  TBufferState State() const { return state_; }
  // Bytes read ahead and not yet delivered, or bytes waiting to be written.
  std::size_t PendingBytes() const;

  TNotify AfterRefill;
  TNotify AfterFlush;

 protected:
  // Reads the next block; false when the underlying stream gave nothing.
  virtual bool Refill();
  // Writes the buffered bytes; false when not all were taken.
  virtual bool Flush();
  virtual void NotifyRefill();
  virtual void NotifyFlush();
  void SetUnderlying(TStream* stream) { stream_ = stream; }
  // Writes pending bytes out, swallowing errors (for destructors).
  void FlushQuietly() noexcept;

 private:
  // Drops read-ahead bytes and puts the underlying stream at the logical position.
  void DropReadAhead();

  TStream* stream_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;  // next byte to deliver / next free place
  std::size_t end_ = 0;  // end of the valid bytes (reading)
  TBufferState state_ = bufEmpty;
};

class TLFNFileStream : public TS_BufferStream {
 public:
  TLFNFileStream(const std::string& fileName, TFileMode mode);
  // Writes pending bytes out, then closes the file.
  ~TLFNFileStream() override;
  const std::string& FileName() const { return file_->FileName(); }
  // The file's modification time as a DOS stamp (0 when unknown).
  std::uint32_t FileDosDateTime() const;

 private:
  std::unique_ptr<TFileStream> file_;
};
