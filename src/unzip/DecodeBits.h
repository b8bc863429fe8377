// Pieces shared by the decoders: the block writer in front of the output sink, the bit
// reader of the older methods, and the canonical-code lookup tables of inflate and explode.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "unzip/Decode.h"

namespace unzip::detail {

// ---------------------------------------------------------------------------------------
// Output blocks
// ---------------------------------------------------------------------------------------

// Collects bytes in the workspace's output buffer and hands it to the sink each time it
// holds kIoBufferSize bytes, so that every block but the last is exactly that long.
class TBlockWriter {
 public:
  explicit TBlockWriter(TDecodeContext& ctx) : sink_(ctx.Output), buffer_(ctx.Workspace.Output) {}

  void Put(const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
      const std::size_t n = std::min(length, kIoBufferSize - count_);
      std::memcpy(buffer_ + count_, data, n);
      count_ += n;
      data += n;
      length -= n;
      if (count_ == kIoBufferSize) Flush();
    }
  }

  void PutByte(std::uint8_t b) {
    buffer_[count_++] = b;
    if (count_ == kIoBufferSize) Flush();
  }

  // Writes what is left; called once at the end of the entry.
  void Flush() {
    if (count_ == 0) return;
    const std::size_t n = count_;
    count_ = 0;
    sink_.Write(buffer_, n);
  }

 private:
  TDecodeOutput& sink_;
  std::uint8_t* buffer_;
  std::size_t count_ = 0;
};

// ---------------------------------------------------------------------------------------
// Bit reader of shrink, reduce and explode
// ---------------------------------------------------------------------------------------

// Least significant bit first, as all ZIP methods pack their bits. Past the end of the
// entry's data it delivers zero bits and counts them, so a decoder can tell a stream
// that ran dry from one that ended in its last byte.
class TBitReader {
 public:
  explicit TBitReader(TDecodeContext& ctx)
      : input_(ctx.Input), buffer_(ctx.Workspace.Input), pos_(buffer_), end_(buffer_) {}

  // The next n bits (n <= 32) without consuming them.
  std::uint32_t Peek(int n) {
    if (count_ < n) Fill();
    return static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
  }
  void Skip(int n) {
    bits_ >>= n;
    count_ -= n;
    if (count_ < phantom_) {
      phantomUsed_ += phantom_ - count_;
      phantom_ = count_;
    }
  }
  std::uint32_t Read(int n) {
    const std::uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // Number of bits consumed beyond the end of the entry's data.
  std::uint64_t PhantomBitsUsed() const { return phantomUsed_; }
  // True when the next n bits all come from the entry's data.
  bool HasRealBits(int n) {
    if (count_ < n) Fill();
    return count_ - phantom_ >= n;
  }

 private:
  void Fill() {
    while (count_ <= 56) {
      if (pos_ == end_ && !done_) {
        const std::size_t n = input_.Refill(buffer_, kIoBufferSize);
        pos_ = buffer_;
        end_ = buffer_ + n;
        done_ = n == 0;
      }
      std::uint64_t byte = 0;
      if (pos_ != end_) {
        byte = *pos_++;
      } else {
        phantom_ += 8;
      }
      bits_ |= byte << count_;
      count_ += 8;
    }
  }

  TDecodeInput& input_;
  std::uint8_t* buffer_;
  const std::uint8_t* pos_;
  const std::uint8_t* end_;
  bool done_ = false;
  std::uint64_t bits_ = 0;
  int count_ = 0;    // valid bits in bits_
  int phantom_ = 0;  // how many of the top valid bits are zeros past the end of the data
  std::uint64_t phantomUsed_ = 0;
};

// ---------------------------------------------------------------------------------------
// Canonical prefix codes
// ---------------------------------------------------------------------------------------

// A prefix code given by its code lengths, decoded through one table indexed by the next
// kRoot bits of the stream. Codes of up to kRoot bits resolve in that one lookup; a longer
// code (rare by construction: a code of length L stands for a symbol of frequency about
// 2^-L) is marked in the table and decoded bit by bit from the per-length counts.
//
// Entry layout (32 bits):
//   bits 0-4   code length (bits to consume for the code itself)
//   bits 5-7   kind (literal, length, end of block, long code, invalid)
//   bits 8-11  number of extra bits that follow the code
//   bits 16-31 value: the literal byte, the base length or distance, or the symbol
inline constexpr std::uint32_t kKindShift = 5;
enum TEntryKind : std::uint32_t {
  kLiteral = 0,
  kLength = 1,
  kEndOfBlock = 2,
  kLongCode = 3,
  kInvalid = 4,
};
constexpr std::uint32_t MakeEntry(TEntryKind kind, std::uint32_t value, std::uint32_t extra = 0) {
  return value << 16 | extra << 8 | std::uint32_t{kind} << kKindShift;
}
inline std::uint32_t EntryLength(std::uint32_t e) { return e & 31; }
inline std::uint32_t EntryKind(std::uint32_t e) { return (e >> kKindShift) & 7; }
inline std::uint32_t EntryExtra(std::uint32_t e) { return (e >> 8) & 15; }
inline std::uint32_t EntryValue(std::uint32_t e) { return e >> 16; }

inline constexpr int kMaxCodeLength = 16;  // Shannon-Fano codes of explode; deflate stops at 15
inline constexpr int kMaxSymbols = 288;

enum class TCodeShape { Complete, Incomplete, Oversubscribed, Empty };

struct TPrefixCode {
  std::uint32_t* table = nullptr;  // 1 << root entries
  int root = 0;
  const std::uint32_t* symbolEntries = nullptr;  // entry template per symbol
  std::uint16_t count[kMaxCodeLength + 1] = {};  // codes per length
  std::uint16_t sorted[kMaxSymbols] = {};        // symbols ordered by (length, value)
  int maxLength = 0;
  bool singleOneBitCode = false;  // exactly one code, of one bit
};

// Fills `code` from `lengths` (0 = symbol unused). The table entries of unused bit
// patterns are kInvalid. Returns the shape of the code; the caller decides which shapes
// its format accepts (an over-subscribed code is never decodable).
TCodeShape BuildPrefixCode(TPrefixCode& code, const std::uint8_t* lengths, int symbols, int maxLength);

// Decodes a code longer than the table's root bits; `bits` holds at least maxLength
// valid bits, already in the orientation the table is indexed with. Returns the entry
// (with its code length) or an invalid entry for a bit pattern that is no code.
std::uint32_t DecodeLongCode(const TPrefixCode& code, std::uint64_t bits);

}  // namespace unzip::detail
