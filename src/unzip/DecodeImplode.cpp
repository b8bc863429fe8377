// Method 6, imploded: a sliding dictionary with Shannon-Fano coded literals, lengths and
// distances (PKZIP 1.x).
//
// Format. Flag bit 1 selects an 8 KiB dictionary (7 raw low distance bits) instead of a
// 4 KiB one (6 bits); flag bit 2 selects a literal tree, without which literals are 8 raw
// bits. The stream starts with the trees, in the order literal (256 codes, only with the
// literal tree), length (64 codes), distance (64 codes). Each tree is
//   count byte           number of bytes that follow, minus one
//   count bytes          high nibble + 1 = how many consecutive codes, low nibble + 1 =
//                        their code length; the counts must cover the tree exactly
// Codes are canonical for those lengths but sent with every bit inverted, so the decoder
// inverts the bits before the lookup. Then, until UncompressedSize bytes exist:
//   1 bit                1 = literal: a literal-tree code, or 8 raw bits
//                        0 = match:
//   6 or 7 raw bits        low bits of distance - 1
//   distance code          high 6 bits of distance - 1
//   length code            0-63, plus 8 raw bits when it is 63; the length is that plus
//                          3 with a literal tree, plus 2 without one
//
// Work area: a 32 KiB window, zeroed at the start, so a match reaching back before the
// entry's first byte yields zeros (some encoders rely on it); it is written out whenever it
// fills. The tree tables live in the workspace's table area; a tree whose lengths
// over-subscribe the code space, or whose counts do not cover it exactly, ends decoding
// before any output. Since the stream has no end marker, one that runs dry before
// UncompressedSize bytes is stopped once it has been read well past its end.
#include <array>

#include "unzip/DecodeBits.h"

namespace unzip {
namespace {

using namespace detail;

constexpr std::size_t kWindowSize = 32768;
constexpr int kLiteralCodes = 256;
constexpr int kLengthCodes = 64;
constexpr int kDistanceCodes = 64;
constexpr int kMaxShannonFanoLength = 16;
constexpr int kLiteralRoot = 9;
constexpr int kLengthRoot = 7;
constexpr int kDistanceRoot = 7;
constexpr int kLargeDistanceRoot = 8;
// Entries whose compressed data exceeds this get the larger distance table.
constexpr std::int64_t kLargeEntryCompressedSize = 200000;
constexpr std::uint16_t kFlagLargeDictionary = 0x02;
constexpr std::uint16_t kFlagLiteralTree = 0x04;
constexpr std::uint32_t kLongLengthCode = 63;
constexpr std::uint64_t kMaxPhantomBits = 16;

struct TExplodeTables {
  std::uint32_t literal[1 << kLiteralRoot];
  std::uint32_t length[1 << kLengthRoot];
  std::uint32_t distance[1 << kLargeDistanceRoot];
};
static_assert(sizeof(TExplodeTables) <= kDecodeTableBytes);

constexpr auto MakeSymbolEntries() {
  std::array<std::uint32_t, kLiteralCodes> t{};
  for (std::uint32_t s = 0; s < kLiteralCodes; ++s) t[s] = MakeEntry(kLiteral, s);
  return t;
}
constexpr auto kSymbolEntries = MakeSymbolEntries();

class TExploder {
 public:
  TExploder(TDecodeContext& ctx, std::uint16_t flags)
      : ctx_(ctx),
        bits_(ctx),
        writer_(ctx),
        window_(ctx.Workspace.Work),
        tables_(reinterpret_cast<TExplodeTables*>(ctx.Workspace.Tables)),
        hasLiteralTree_((flags & kFlagLiteralTree) != 0),
        lowDistanceBits_((flags & kFlagLargeDictionary) != 0 ? 7 : 6) {
    literal_.table = tables_->literal;
    literal_.root = kLiteralRoot;
    length_.table = tables_->length;
    length_.root = kLengthRoot;
    distance_.table = tables_->distance;
    distance_.root = ctx.CompressedSize > kLargeEntryCompressedSize ? kLargeDistanceRoot : kDistanceRoot;
    for (TPrefixCode* code : {&literal_, &length_, &distance_}) code->symbolEntries = kSymbolEntries.data();
  }

  void Run() {
    if (hasLiteralTree_ && !ReadTree(literal_, kLiteralCodes)) return;
    if (!ReadTree(length_, kLengthCodes) || !ReadTree(distance_, kDistanceCodes)) return;
    std::memset(window_, 0, kWindowSize);
    Expand();
    writer_.Put(window_, pos_);
    writer_.Flush();
  }

 private:
  bool ReadTree(TPrefixCode& code, int symbols) {
    std::uint8_t lengths[kLiteralCodes];
    const std::uint32_t bytes = bits_.Read(8) + 1;
    int n = 0;
    for (std::uint32_t i = 0; i < bytes; ++i) {
      const std::uint32_t b = bits_.Read(8);
      const int repeat = static_cast<int>(b >> 4) + 1;
      const std::uint8_t length = static_cast<std::uint8_t>((b & 15) + 1);
      if (n + repeat > symbols) return false;
      std::memset(lengths + n, length, static_cast<std::size_t>(repeat));
      n += repeat;
    }
    if (n != symbols || bits_.PhantomBitsUsed() > 0) return false;
    return BuildPrefixCode(code, lengths, symbols, kMaxShannonFanoLength) != TCodeShape::Oversubscribed;
  }

  // Returns the symbol, or -1 for a bit pattern that is no code.
  int DecodeSymbol(const TPrefixCode& code) {
    const std::uint32_t inverted = ~bits_.Peek(kMaxShannonFanoLength) & 0xFFFF;
    std::uint32_t e = code.table[inverted & ((1u << code.root) - 1)];
    if (EntryKind(e) == kLongCode) e = DecodeLongCode(code, inverted);
    if (EntryKind(e) == kInvalid) return -1;
    bits_.Skip(static_cast<int>(EntryLength(e)));
    return static_cast<int>(EntryValue(e));
  }

  void Emit(std::uint8_t b) {
    window_[pos_++] = b;
    ++produced_;
    if (pos_ == kWindowSize) {
      writer_.Put(window_, kWindowSize);
      pos_ = 0;
    }
  }

  void Expand() {
    const std::uint64_t size = ctx_.UncompressedSize > 0 ? static_cast<std::uint64_t>(ctx_.UncompressedSize) : 0;
    const std::uint32_t minMatch = hasLiteralTree_ ? 3 : 2;
    while (produced_ < size) {
      if (bits_.PhantomBitsUsed() > kMaxPhantomBits) return;
      if (bits_.Read(1) != 0) {
        int literal;
        if (hasLiteralTree_) {
          literal = DecodeSymbol(literal_);
          if (literal < 0) return;
        } else {
          literal = static_cast<int>(bits_.Read(8));
        }
        Emit(static_cast<std::uint8_t>(literal));
        continue;
      }
      const std::uint32_t low = bits_.Read(lowDistanceBits_);
      const int high = DecodeSymbol(distance_);
      if (high < 0) return;
      const std::size_t distance = ((static_cast<std::size_t>(high) << lowDistanceBits_) | low) + 1;
      const int code = DecodeSymbol(length_);
      if (code < 0) return;
      std::uint32_t length = static_cast<std::uint32_t>(code);
      if (length == kLongLengthCode) length += bits_.Read(8);
      length += minMatch;
      for (std::uint32_t i = 0; i < length && produced_ < size; ++i) {
        Emit(window_[(pos_ - distance) & (kWindowSize - 1)]);
      }
    }
  }

  TDecodeContext& ctx_;
  TBitReader bits_;
  TBlockWriter writer_;
  std::uint8_t* window_;
  TExplodeTables* tables_;
  bool hasLiteralTree_;
  int lowDistanceBits_;
  TPrefixCode literal_, length_, distance_;
  std::size_t pos_ = 0;
  std::uint64_t produced_ = 0;
};

}  // namespace

void Explode(TDecodeContext& ctx, std::uint16_t flags) {
  TExploder decoder(ctx, flags);
  decoder.Run();
}

}  // namespace unzip
