// Method 8, deflate (RFC 1951).
//
// Format. A sequence of blocks, each starting with 3 header bits:
//   BFINAL (1 bit)   1 on the last block
//   BTYPE  (2 bits)  0 stored, 1 fixed codes, 2 dynamic codes, 3 invalid
// Stored: skip to the next byte boundary, LEN (16 bits), NLEN (16 bits, ~LEN), LEN bytes.
// Fixed and dynamic: prefix-coded symbols until end of block (256). Literal/length symbols
// 0-255 are bytes, 257-285 are match lengths 3-258 (with 0-5 extra bits); each length is
// followed by a distance symbol 0-29 (distances 1-32768, 0-13 extra bits). A dynamic block
// first sends HLIT (5 bits, +257), HDIST (5 bits, +1), HCLEN (4 bits, +4), then HCLEN
// 3-bit lengths of the code-length code in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13
// 2 14 1 15, then the HLIT + HDIST code lengths coded with it, where 16 repeats the
// previous length 3-6 times (2 extra bits), 17 sends 3-10 zeros (3 bits), 18 sends 11-138
// zeros (7 bits). Codes are packed most significant bit first; everything else least
// significant bit first.
//
// Why it is fast.
// - Output goes into one linear buffer: 32 KiB of history followed by a run of four output
//   blocks. The inner loop only checks "is there room for one more match" and never wraps;
//   full 16000-byte blocks are handed to the sink straight from that buffer, and once per
//   run the last 32 KiB are slid down to become the history of the next run.
// - Input is taken from the refill buffer eight bytes at a time into a 64-bit bit buffer,
//   which then holds at least 56 bits: enough for a complete length/distance pair (at most
//   15 + 5 + 15 + 13 bits), so the inner loop refills once per symbol pair. Only the last
//   few bytes of the entry's data go through the byte-at-a-time path.
// - The literal/length table resolves codes of up to 11 bits in one lookup, and a lookup
//   yields the length base and its extra-bit count together. The few longer codes are
//   decoded from the per-length counts (see DecodeTables.cpp).
// - Matches are copied eight bytes at a time when the distance allows it.
//
// What it refuses. Block type 3, a code that is not in the table, a LEN/NLEN mismatch, a
// repeat that runs past the declared number of lengths or starts without a previous length,
// too many literal/length or distance codes, over-subscribed or incomplete codes (except a
// single one-bit code, as RFC 1951 permits for distances), a block code without an
// end-of-block code, a distance reaching back before the start of the data, and data that
// ends before the final block: each ends decoding at once, without writing what has not
// been written yet, so the entry fails its CRC-32 check.
#include <bit>
#include <cstring>

#include "unzip/DecodeBits.h"

namespace unzip {
namespace {

using namespace detail;

constexpr int kLitLenSymbols = 288;  // 286 and 287 exist only in the fixed code, as invalid
constexpr int kDistSymbols = 32;     // 30 and 31 likewise
constexpr int kMaxLitLenCodes = 286;
constexpr int kMaxDistCodes = 30;
constexpr int kCodeLengthSymbols = 19;
constexpr int kMaxDeflateCodeLength = 15;
constexpr int kLitLenRoot = 11;
constexpr int kDistRoot = 8;
constexpr int kCodeLengthRoot = 7;
constexpr std::size_t kMaxMatch = 258;
// Room the inner loop may write past a match: the last 8-byte chunk of a copy.
constexpr std::size_t kCopyOvershoot = 8;
static_assert(kInflateBufferBytes >= kInflateHistory + kInflateRun + kMaxMatch + kCopyOvershoot);

constexpr std::uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

struct TSymbolEntries {
  std::uint32_t litLen[kLitLenSymbols];
  std::uint32_t dist[kDistSymbols];
  std::uint32_t codeLength[kCodeLengthSymbols];
};

constexpr TSymbolEntries MakeSymbolEntries() {
  constexpr std::uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr std::uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  constexpr std::uint16_t distBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                          33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                          1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  constexpr std::uint8_t distExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                          6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  TSymbolEntries t{};
  for (std::uint32_t s = 0; s < 256; ++s) t.litLen[s] = MakeEntry(kLiteral, s);
  t.litLen[256] = MakeEntry(kEndOfBlock, 0);
  for (int i = 0; i < 29; ++i) t.litLen[257 + i] = MakeEntry(kLength, lengthBase[i], lengthExtra[i]);
  t.litLen[286] = t.litLen[287] = MakeEntry(kInvalid, 0);
  for (int i = 0; i < 30; ++i) t.dist[i] = MakeEntry(kLength, distBase[i], distExtra[i]);
  t.dist[30] = t.dist[31] = MakeEntry(kInvalid, 0);
  for (std::uint32_t s = 0; s < kCodeLengthSymbols; ++s) t.codeLength[s] = MakeEntry(kLiteral, s);
  return t;
}

constexpr TSymbolEntries kSymbols = MakeSymbolEntries();

// Tables inside the workspace's table area.
struct TInflateTables {
  std::uint32_t litLen[1 << kLitLenRoot];
  std::uint32_t dist[1 << kDistRoot];
  std::uint32_t codeLength[1 << kCodeLengthRoot];
};
static_assert(sizeof(TInflateTables) <= kDecodeTableBytes);

enum class TStep { Continue, EndOfBlock, Error };

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

class TInflater {
 public:
  explicit TInflater(TDecodeContext& ctx)
      : ctx_(ctx),
        inBuf_(ctx.Workspace.Input),
        in_(inBuf_),
        inEnd_(inBuf_),
        buf_(ctx.Workspace.InflateBuffer),
        out_(buf_),
        flushed_(buf_),
        runEnd_(buf_ + kInflateHistory + kInflateRun),
        tables_(reinterpret_cast<TInflateTables*>(ctx.Workspace.Tables)) {
    litLen_.table = tables_->litLen;
    litLen_.root = kLitLenRoot;
    litLen_.symbolEntries = kSymbols.litLen;
    dist_.table = tables_->dist;
    dist_.root = kDistRoot;
    dist_.symbolEntries = kSymbols.dist;
    codeLength_.table = tables_->codeLength;
    codeLength_.root = kCodeLengthRoot;
    codeLength_.symbolEntries = kSymbols.codeLength;
  }

  void Run() {
    for (;;) {
      Refill();
      const bool final = Bits(1) != 0;
      const std::uint32_t type = static_cast<std::uint32_t>(bitbuf_ >> 1) & 3;
      Consume(3);
      if (Truncated()) return;
      bool ok = false;
      switch (type) {
        case 0: ok = StoredBlock(); break;
        case 1: ok = FixedCodes() && HuffmanBlock(); break;
        case 2: ok = DynamicCodes() && HuffmanBlock(); break;
        default: ok = false; break;
      }
      if (!ok) return;
      if (final) break;
    }
    FlushFullBlocks();
    if (out_ > flushed_) ctx_.Output.Write(flushed_, static_cast<std::size_t>(out_ - flushed_));
  }

 private:
  // ---- Input bitstream ------------------------------------------------------------------

  std::uint32_t Bits(int n) const { return static_cast<std::uint32_t>(bitbuf_ & ((std::uint64_t{1} << n) - 1)); }
  void Consume(unsigned n) {
    bitbuf_ >>= n;
    bitsleft_ -= n;
  }

  // Moves the few unread bytes to the front of the input buffer and appends a refill.
  void TopUp() {
    if (inputDone_) return;
    const std::size_t left = static_cast<std::size_t>(inEnd_ - in_);
    std::memmove(inBuf_, in_, left);
    const std::size_t n = ctx_.Input.Refill(inBuf_ + left, kIoBufferSize);
    in_ = inBuf_;
    inEnd_ = inBuf_ + left + n;
    inputDone_ = n == 0;
  }

  // Needs 8 readable bytes at in_; leaves 56 to 63 bits in the buffer. The bits loaded
  // above bitsleft_ are the stream's next bits, so loading them again later is harmless.
  void RefillFast() {
    bitbuf_ |= Load64(in_) << bitsleft_;
    in_ += (63 - bitsleft_) >> 3;
    bitsleft_ |= 56;
  }

  // Byte at a time near the end of the data; past the end it adds zero bytes and counts
  // them, so that consuming them can be recognised as truncation.
  void RefillSlow() {
    bitbuf_ &= (std::uint64_t{1} << bitsleft_) - 1;
    while (bitsleft_ < 56) {
      if (in_ == inEnd_) TopUp();
      std::uint64_t byte = 0;
      if (in_ != inEnd_) {
        byte = *in_++;
      } else {
        ++phantomBytes_;
      }
      bitbuf_ |= byte << bitsleft_;
      bitsleft_ += 8;
    }
  }

  void Refill() {
    if (inEnd_ - in_ < 8) TopUp();
    if (inEnd_ - in_ >= 8) {
      RefillFast();
    } else {
      RefillSlow();
    }
  }

  // True once bits past the end of the entry's data have been consumed.
  bool Truncated() const { return phantomBytes_ * 8 > bitsleft_; }

  // ---- Output ---------------------------------------------------------------------------

  void FlushFullBlocks() {
    while (static_cast<std::size_t>(out_ - flushed_) >= kIoBufferSize) {
      ctx_.Output.Write(flushed_, kIoBufferSize);
      flushed_ += kIoBufferSize;
    }
  }

  // Called when the run is used up: hands out the full blocks and keeps the last 32 KiB
  // (which include the unflushed rest, less than one block) as history.
  void Slide() {
    FlushFullBlocks();
    const std::size_t shift = static_cast<std::size_t>(out_ - buf_) - kInflateHistory;
    std::memmove(buf_, out_ - kInflateHistory, kInflateHistory);
    out_ -= shift;
    flushed_ -= shift;
  }

  // ---- Blocks ---------------------------------------------------------------------------

  bool StoredBlock() {
    Consume(bitsleft_ & 7);
    if (bitsleft_ < 32) Refill();
    const std::uint32_t len = Bits(16);
    const std::uint32_t nlen = static_cast<std::uint32_t>(bitbuf_ >> 16) & 0xFFFF;
    Consume(32);
    if (Truncated() || len != (~nlen & 0xFFFF)) return false;

    std::uint32_t remaining = len;
    // Whole bytes still in the bit buffer come first.
    while (remaining > 0 && bitsleft_ >= 8) {
      if (bitsleft_ / 8 <= phantomBytes_) return false;
      if (out_ >= runEnd_) Slide();
      *out_++ = static_cast<std::uint8_t>(bitbuf_);
      Consume(8);
      --remaining;
    }
    if (remaining == 0) return true;
    bitbuf_ = 0;
    while (remaining > 0) {
      if (in_ == inEnd_) {
        TopUp();
        if (in_ == inEnd_) return false;
      }
      if (out_ >= runEnd_) Slide();
      const std::size_t n = std::min({static_cast<std::size_t>(remaining), static_cast<std::size_t>(inEnd_ - in_),
                                      static_cast<std::size_t>(runEnd_ - out_)});
      std::memcpy(out_, in_, n);
      out_ += n;
      in_ += n;
      remaining -= static_cast<std::uint32_t>(n);
    }
    return true;
  }

  // The fixed tables are kept until a dynamic block replaces them, so that a stream of
  // many small fixed blocks does not rebuild them each time.
  bool FixedCodes() {
    if (fixedLoaded_) return true;
    fixedLoaded_ = true;
    std::uint8_t lengths[kLitLenSymbols + kDistSymbols];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    std::memset(lengths + kLitLenSymbols, 5, kDistSymbols);
    BuildPrefixCode(litLen_, lengths, kLitLenSymbols, kMaxDeflateCodeLength);
    BuildPrefixCode(dist_, lengths + kLitLenSymbols, kDistSymbols, kMaxDeflateCodeLength);
    return true;
  }

  // A literal/length or distance code is usable when complete, or when it is a single
  // one-bit code; a distance code may also be empty (a block of literals only).
  static bool Usable(TCodeShape shape, const TPrefixCode& code, bool emptyAllowed) {
    switch (shape) {
      case TCodeShape::Complete: return true;
      case TCodeShape::Incomplete: return code.singleOneBitCode;
      case TCodeShape::Empty: return emptyAllowed;
      case TCodeShape::Oversubscribed: return false;
    }
    return false;
  }

  bool DynamicCodes() {
    fixedLoaded_ = false;
    Refill();
    const int hlit = static_cast<int>(Bits(5)) + 257;
    const int hdist = static_cast<int>((bitbuf_ >> 5) & 31) + 1;
    const int hclen = static_cast<int>((bitbuf_ >> 10) & 15) + 4;
    Consume(14);
    if (hlit > kMaxLitLenCodes || hdist > kMaxDistCodes) return false;

    std::uint8_t clens[kCodeLengthSymbols] = {};
    for (int i = 0; i < hclen; ++i) {
      if (bitsleft_ < 3) Refill();
      clens[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(Bits(3));
      Consume(3);
    }
    if (Truncated()) return false;
    if (BuildPrefixCode(codeLength_, clens, kCodeLengthSymbols, 7) != TCodeShape::Complete) return false;

    std::uint8_t lengths[kMaxLitLenCodes + kMaxDistCodes];
    const int total = hlit + hdist;
    int n = 0;
    while (n < total) {
      if (bitsleft_ < 14) Refill();
      const std::uint32_t e = codeLength_.table[Bits(kCodeLengthRoot)];
      if (EntryKind(e) == kInvalid) return false;
      Consume(EntryLength(e));
      const std::uint32_t sym = EntryValue(e);
      if (sym < 16) {
        lengths[n++] = static_cast<std::uint8_t>(sym);
        continue;
      }
      std::uint8_t value = 0;
      int repeat = 0;
      if (sym == 16) {
        if (n == 0) return false;
        value = lengths[n - 1];
        repeat = 3 + static_cast<int>(Bits(2));
        Consume(2);
      } else if (sym == 17) {
        repeat = 3 + static_cast<int>(Bits(3));
        Consume(3);
      } else {
        repeat = 11 + static_cast<int>(Bits(7));
        Consume(7);
      }
      if (n + repeat > total) return false;
      std::memset(lengths + n, value, static_cast<std::size_t>(repeat));
      n += repeat;
    }
    if (Truncated()) return false;
    if (lengths[256] == 0) return false;

    const TCodeShape litShape = BuildPrefixCode(litLen_, lengths, hlit, kMaxDeflateCodeLength);
    if (!Usable(litShape, litLen_, false)) return false;
    const TCodeShape distShape = BuildPrefixCode(dist_, lengths + hlit, hdist, kMaxDeflateCodeLength);
    return Usable(distShape, dist_, true);
  }

  // ---- Huffman decoding -----------------------------------------------------------------

  // Decodes one literal (two when both are short enough to need no refill in between) or
  // one match. The caller guarantees room for a whole match in the output buffer;
  // kFastInput says that 8 input bytes can be loaded at once.
  template <bool kFastInput>
  TStep Step() {
    if constexpr (kFastInput) {
      RefillFast();
    } else {
      RefillSlow();
    }
    const std::uint32_t litMask = (1u << kLitLenRoot) - 1;
    std::uint32_t e = litLen_.table[bitbuf_ & litMask];
    if (EntryKind(e) == kLiteral) {
      Consume(EntryLength(e));
      *out_++ = static_cast<std::uint8_t>(EntryValue(e));
      e = litLen_.table[bitbuf_ & litMask];
      if (EntryKind(e) != kLiteral) return TStep::Continue;
      Consume(EntryLength(e));
      *out_++ = static_cast<std::uint8_t>(EntryValue(e));
      return TStep::Continue;
    }
    if (EntryKind(e) == kLongCode) {
      e = DecodeLongCode(litLen_, bitbuf_);
      if (EntryKind(e) == kLiteral) {
        Consume(EntryLength(e));
        *out_++ = static_cast<std::uint8_t>(EntryValue(e));
        return TStep::Continue;
      }
    }
    if (EntryKind(e) != kLength) {
      if (EntryKind(e) != kEndOfBlock) return TStep::Error;
      Consume(EntryLength(e));
      return TStep::EndOfBlock;
    }
    unsigned codeBits = EntryLength(e);
    unsigned extra = EntryExtra(e);
    const std::size_t length = EntryValue(e) + static_cast<std::size_t>((bitbuf_ >> codeBits) & ((1u << extra) - 1));
    Consume(codeBits + extra);

    std::uint32_t d = dist_.table[bitbuf_ & ((1u << kDistRoot) - 1)];
    if (EntryKind(d) == kLongCode) d = DecodeLongCode(dist_, bitbuf_);
    if (EntryKind(d) != kLength) return TStep::Error;
    codeBits = EntryLength(d);
    extra = EntryExtra(d);
    const std::size_t distance = EntryValue(d) + static_cast<std::size_t>((bitbuf_ >> codeBits) & ((1u << extra) - 1));
    Consume(codeBits + extra);
    if (distance > static_cast<std::size_t>(out_ - buf_)) return TStep::Error;

    std::uint8_t* dst = out_;
    const std::uint8_t* src = out_ - distance;
    out_ += length;
    if (distance >= kCopyOvershoot) {
      do {
        std::memcpy(dst, src, 8);
        dst += 8;
        src += 8;
      } while (dst < out_);
    } else if (distance == 1) {
      std::memset(dst, *src, length);
    } else {
      for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
    return TStep::Continue;
  }

  bool HuffmanBlock() {
    for (;;) {
      if (out_ >= runEnd_) Slide();
      if (inEnd_ - in_ >= 8) {
        do {
          const TStep step = Step<true>();
          if (step != TStep::Continue) return step == TStep::EndOfBlock;
        } while (inEnd_ - in_ >= 8 && out_ < runEnd_);
      } else if (!inputDone_) {
        TopUp();
      } else {
        const TStep step = Step<false>();
        if (step == TStep::Error || Truncated()) return false;
        if (step == TStep::EndOfBlock) return true;
      }
    }
  }

  TDecodeContext& ctx_;
  // Input: the refill buffer and the bit buffer (bits taken from the low end).
  std::uint8_t* const inBuf_;
  const std::uint8_t* in_;
  const std::uint8_t* inEnd_;
  bool inputDone_ = false;
  std::uint64_t bitbuf_ = 0;
  unsigned bitsleft_ = 0;
  unsigned phantomBytes_ = 0;  // zero bytes added past the end of the data
  // Output: buf_ holds the history and the current run; [flushed_, out_) is not yet written.
  std::uint8_t* const buf_;
  std::uint8_t* out_;
  std::uint8_t* flushed_;
  std::uint8_t* const runEnd_;
  TInflateTables* tables_;
  TPrefixCode litLen_, dist_, codeLength_;
  bool fixedLoaded_ = false;  // litLen_ and dist_ hold the fixed codes
};

}  // namespace

void Inflate(TDecodeContext& ctx) {
  TInflater inflater(ctx);
  inflater.Run();
}

}  // namespace unzip
