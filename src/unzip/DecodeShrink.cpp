// Method 1, shrunk: dynamic LZW with partial clearing (PKZIP 0.9 to 1.1).
//
// Format. A sequence of codes packed least significant bit first, 9 bits wide at the
// start and widened on request up to 13 bits (8192 codes):
//   0-255      the byte itself
//   256        control code; the next code (same width) says what to do:
//                1  widen the codes by one bit
//                2  partial clear: every code from 257 up that is no other code's prefix
//                   becomes free again
//   257-8191   a string: the string of its prefix code followed by its suffix byte
// The first code is a byte. After each later code the decoder defines the next free code
// as (previous code, first byte of the current string), the entry the encoder made one
// step earlier. A code that is still free when it arrives is the one being defined right
// now (the "KwKwK" case): its string is the previous string plus that string's first byte.
//
// Work area: prefix table (8192 x 16 bits), suffix table (8192 bytes), and a stack of
// 8192 bytes on which a string is unwound back to front. The prefix table's two top bits
// mark free codes and, during a partial clear, codes found to be a prefix.
//
// A stream that asks for codes wider than 13 bits, or whose codes lead through free
// entries or chains longer than the stack, is malformed: decoding stops there, so the
// entry fails its CRC-32 check.
#include "unzip/DecodeBits.h"

namespace unzip {
namespace {

using detail::TBitReader;
using detail::TBlockWriter;

constexpr int kInitialCodeSize = 9;
constexpr int kMaxCodeSize = 13;
constexpr std::uint32_t kMaxCodes = 1u << kMaxCodeSize;  // 8192
constexpr std::uint32_t kControlCode = 256;
constexpr std::uint32_t kFirstFreeCode = 257;
constexpr std::uint32_t kWidenCodes = 1;
constexpr std::uint32_t kPartialClear = 2;
constexpr std::uint16_t kFreeFlag = 0x8000;
constexpr std::uint16_t kPrefixMark = 0x4000;
constexpr std::uint16_t kCodeMask = 0x1FFF;

struct TShrinkArea {
  std::uint16_t prefix[kMaxCodes];
  std::uint8_t suffix[kMaxCodes];
  std::uint8_t stack[kMaxCodes];
};
static_assert(sizeof(TShrinkArea) <= kWorkAreaSize);

class TUnshrinker {
 public:
  explicit TUnshrinker(TDecodeContext& ctx)
      : bits_(ctx), writer_(ctx), area_(*reinterpret_cast<TShrinkArea*>(ctx.Workspace.Work)) {}

  void Run() {
    for (std::uint32_t c = kFirstFreeCode; c < kMaxCodes; ++c) area_.prefix[c] = kFreeFlag;
    Decode();
    writer_.Flush();
  }

 private:
  bool ReadCode(std::uint32_t& code) {
    if (!bits_.HasRealBits(codeSize_)) return false;
    code = bits_.Read(codeSize_);
    return true;
  }

  bool IsFree(std::uint32_t code) const { return code >= kFirstFreeCode && (area_.prefix[code] & kFreeFlag); }

  void Decode() {
    std::uint32_t code = 0;
    if (!ReadCode(code)) return;
    // The first code can only be a byte; anything else is kept to its low byte so that
    // later entries never refer to an undefined string.
    std::uint32_t prev = code & 0xFF;
    std::uint8_t prevFirst = static_cast<std::uint8_t>(prev);
    writer_.PutByte(prevFirst);

    while (ReadCode(code)) {
      if (code == kControlCode) {
        std::uint32_t sub = 0;
        if (!ReadCode(sub)) return;
        if (sub == kWidenCodes) {
          if (codeSize_ == kMaxCodeSize) return;  // wider than 13 bits: refused
          ++codeSize_;
        } else if (sub == kPartialClear) {
          PartialClear();
        }
        continue;
      }

      std::uint8_t* const stackEnd = area_.stack + kMaxCodes;
      std::uint8_t* top = stackEnd;
      std::uint32_t c = code;
      if (IsFree(code)) {
        *--top = prevFirst;
        c = prev;
      }
      while (c >= kFirstFreeCode) {
        if (IsFree(c) || top == area_.stack + 1) return;
        *--top = area_.suffix[c];
        c = area_.prefix[c] & kCodeMask;
      }
      *--top = static_cast<std::uint8_t>(c);
      const std::uint8_t first = static_cast<std::uint8_t>(c);
      writer_.Put(top, static_cast<std::size_t>(stackEnd - top));

      if (nextFree_ < kMaxCodes) {
        area_.prefix[nextFree_] = static_cast<std::uint16_t>(prev);
        area_.suffix[nextFree_] = first;
        AdvanceNextFree(nextFree_ + 1);
      }
      prev = code;
      prevFirst = first;
    }
  }

  void AdvanceNextFree(std::uint32_t from) {
    nextFree_ = from;
    while (nextFree_ < kMaxCodes && !(area_.prefix[nextFree_] & kFreeFlag)) ++nextFree_;
  }

  // Frees every code that is no other code's prefix (the leaves of the string tree).
  void PartialClear() {
    for (std::uint32_t c = kFirstFreeCode; c < kMaxCodes; ++c) {
      if (area_.prefix[c] & kFreeFlag) continue;
      const std::uint32_t p = area_.prefix[c] & kCodeMask;
      if (p >= kFirstFreeCode) area_.prefix[p] |= kPrefixMark;
    }
    for (std::uint32_t c = kFirstFreeCode; c < kMaxCodes; ++c) {
      if (area_.prefix[c] & kPrefixMark) {
        area_.prefix[c] &= static_cast<std::uint16_t>(~kPrefixMark);
      } else {
        area_.prefix[c] = kFreeFlag;
      }
    }
    AdvanceNextFree(kFirstFreeCode);
  }

  TBitReader bits_;
  TBlockWriter writer_;
  TShrinkArea& area_;
  int codeSize_ = kInitialCodeSize;
  std::uint32_t nextFree_ = kFirstFreeCode;
};

}  // namespace

void Unshrink(TDecodeContext& ctx) {
  TUnshrinker decoder(ctx);
  decoder.Run();
}

}  // namespace unzip
