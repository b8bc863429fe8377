// Methods 2 to 5, reduced with compression factor F = 1 to 4 (PKZIP 0.9).
//
// Format, two stages.
// 1. Probabilistic bytes. The stream starts with 256 follower sets, for the byte values
//    255 down to 0: a 6-bit count N, then N 8-bit bytes, the bytes most likely to follow
//    that value. Each further byte X is read given the previous byte L read this way
//    (0 at the start): if L's set is empty, X is 8 raw bits; otherwise one bit, 1 = X is
//    8 raw bits, 0 = X is L's follower number I, sent in B(N) bits, where B(N) is the bit
//    length of N - 1 but at least 1.
// 2. Those bytes drive a small state machine with DLE = 144:
//      X != DLE               the byte X
//      DLE, 0                 the byte 144
//      DLE, V, [E], D         a match of length (V & lengthMask) + 3, where all length bits
//                             set means one more byte E is added to the length; distance
//                             ((V >> (8 - F)) & distanceMask) * 256 + D + 1
//    lengthMask is 127, 63, 31, 15 and distanceMask 1, 3, 7, 15 for F = 1 to 4, so a match
//    reaches back at most 4096 bytes.
//
// Work area: a 16384-byte window, then 256 follower sets in 64-byte slots, each slot's last
// byte holding the set's count (a set has at most 63 bytes). The window starts zeroed: a
// match that reaches back before the first byte of the entry yields zeros, which PKZIP
// relies on.
//
// The stream has no end marker; decoding stops after UncompressedSize bytes. A stream that
// runs dry first is stopped once it has been read well past its end.
#include "unzip/DecodeBits.h"

namespace unzip {
namespace {

using detail::TBitReader;
using detail::TBlockWriter;

constexpr std::size_t kWindowSize = 16384;
constexpr std::size_t kSlotSize = 64;
constexpr std::size_t kCountByte = kSlotSize - 1;
constexpr std::uint8_t kDle = 144;
constexpr int kMinMatch = 3;
constexpr int kMinFactor = 1;
constexpr int kMaxFactor = 4;
// Zero bits past the end of the data that a stream may consume before it counts as dry:
// enough for a final partial byte, far too few to spin out a large entry from nothing.
constexpr std::uint64_t kMaxPhantomBits = 16;

struct TReduceArea {
  std::uint8_t window[kWindowSize];
  std::uint8_t followers[256][kSlotSize];
};
static_assert(sizeof(TReduceArea) <= kWorkAreaSize);

struct TFactorParams {
  std::uint32_t lengthMask;
  int distanceShift;
  std::uint32_t distanceMask;
};
constexpr TFactorParams kFactors[kMaxFactor + 1] = {
    {0, 0, 0}, {127, 7, 1}, {63, 6, 3}, {31, 5, 7}, {15, 4, 15}};

// Bits that index a follower set of n bytes.
constexpr int FollowerIndexBits(std::uint32_t n) {
  int bits = 0;
  for (std::uint32_t v = n - 1; v != 0; v >>= 1) ++bits;
  return bits < 1 ? 1 : bits;
}

class TUnreducer {
 public:
  TUnreducer(TDecodeContext& ctx, int factor)
      : ctx_(ctx),
        bits_(ctx),
        writer_(ctx),
        area_(*reinterpret_cast<TReduceArea*>(ctx.Workspace.Work)),
        params_(kFactors[factor]) {}

  void Run() {
    std::memset(area_.window, 0, kWindowSize);
    ReadFollowerSets();
    Expand();
    writer_.Put(area_.window, pos_);
    writer_.Flush();
  }

 private:
  void ReadFollowerSets() {
    for (int value = 255; value >= 0; --value) {
      std::uint8_t* slot = area_.followers[value];
      const std::uint32_t n = bits_.Read(6);
      slot[kCountByte] = static_cast<std::uint8_t>(n);
      for (std::uint32_t i = 0; i < n; ++i) slot[i] = static_cast<std::uint8_t>(bits_.Read(8));
    }
  }

  std::uint8_t NextByte() {
    const std::uint8_t* slot = area_.followers[last_];
    const std::uint32_t n = slot[kCountByte];
    std::uint8_t x;
    if (n == 0 || bits_.Read(1) != 0) {
      x = static_cast<std::uint8_t>(bits_.Read(8));
    } else {
      // An index beyond the set (only in damaged data) still stays inside the slot.
      x = slot[bits_.Read(FollowerIndexBits(n))];
    }
    last_ = x;
    return x;
  }

  void Emit(std::uint8_t b) {
    area_.window[pos_++] = b;
    ++produced_;
    if (pos_ == kWindowSize) {
      writer_.Put(area_.window, kWindowSize);
      pos_ = 0;
    }
  }

  void Expand() {
    enum { kPlain, kAfterDle, kExtraLength, kDistance } state = kPlain;
    std::uint32_t v = 0, length = 0;
    const std::uint64_t size = ctx_.UncompressedSize > 0 ? static_cast<std::uint64_t>(ctx_.UncompressedSize) : 0;
    while (produced_ < size) {
      if (bits_.PhantomBitsUsed() > kMaxPhantomBits) return;
      const std::uint8_t x = NextByte();
      switch (state) {
        case kPlain:
          if (x == kDle) {
            state = kAfterDle;
          } else {
            Emit(x);
          }
          break;
        case kAfterDle:
          if (x == 0) {
            Emit(kDle);
            state = kPlain;
          } else {
            v = x;
            length = v & params_.lengthMask;
            state = length == params_.lengthMask ? kExtraLength : kDistance;
          }
          break;
        case kExtraLength:
          length += x;
          state = kDistance;
          break;
        case kDistance: {
          const std::size_t distance = ((v >> params_.distanceShift) & params_.distanceMask) * 256 + x + 1;
          for (std::uint32_t i = 0; i < length + kMinMatch && produced_ < size; ++i) {
            Emit(area_.window[(pos_ - distance) & (kWindowSize - 1)]);
          }
          state = kPlain;
          break;
        }
      }
    }
  }

  TDecodeContext& ctx_;
  TBitReader bits_;
  TBlockWriter writer_;
  TReduceArea& area_;
  TFactorParams params_;
  std::uint8_t last_ = 0;
  std::size_t pos_ = 0;  // next write position in the window
  std::uint64_t produced_ = 0;
};

}  // namespace

void Unreduce(TDecodeContext& ctx, int factor) {
  if (factor < kMinFactor || factor > kMaxFactor) return;
  TUnreducer decoder(ctx, factor);
  decoder.Run();
}

}  // namespace unzip
