// Canonical prefix codes for inflate and explode: table construction and the bit-by-bit
// decoding of codes longer than a table's root bits.
//
// A canonical code is fully given by its code lengths: codes of one length are
// consecutive integers in symbol order, and each length's first code follows the last
// code of the previous length shifted left by one. The stream sends a code's most
// significant bit first, while bits are taken from the low end of the bit buffer, so the
// table is indexed by the code with its bits reversed.
#include "unzip/DecodeBits.h"

namespace unzip::detail {
namespace {

std::uint32_t ReverseBits(std::uint32_t code, int length) {
  std::uint32_t r = 0;
  for (int i = 0; i < length; ++i) {
    r = r << 1 | (code & 1);
    code >>= 1;
  }
  return r;
}

}  // namespace

TCodeShape BuildPrefixCode(TPrefixCode& code, const std::uint8_t* lengths, int symbols, int maxLength) {
  code.maxLength = maxLength;
  std::memset(code.count, 0, sizeof code.count);
  int used = 0;
  for (int s = 0; s < symbols; ++s) {
    if (lengths[s] > maxLength) return TCodeShape::Oversubscribed;
    ++code.count[lengths[s]];
    if (lengths[s] != 0) ++used;
  }
  code.count[0] = 0;

  // Unused code space after each length; negative means more codes than bit patterns.
  std::int32_t left = 1;
  for (int len = 1; len <= maxLength; ++len) {
    left = left * 2 - code.count[len];
    if (left < 0) return TCodeShape::Oversubscribed;
  }

  std::uint16_t offset[kMaxCodeLength + 2] = {};
  for (int len = 1; len <= maxLength; ++len) offset[len + 1] = offset[len] + code.count[len];
  for (int s = 0; s < symbols; ++s) {
    if (lengths[s] != 0) code.sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
  }

  const std::uint32_t tableSize = std::uint32_t{1} << code.root;
  std::fill(code.table, code.table + tableSize, MakeEntry(kInvalid, 0));
  std::uint32_t next = 0;  // canonical code of the current length
  int index = 0;
  for (int len = 1; len <= maxLength; ++len) {
    for (int i = 0; i < code.count[len]; ++i, ++next) {
      const int s = code.sorted[index++];
      const std::uint32_t reversed = ReverseBits(next, len);
      if (len <= code.root) {
        const std::uint32_t entry = code.symbolEntries[s] | static_cast<std::uint32_t>(len);
        for (std::uint32_t j = reversed; j < tableSize; j += std::uint32_t{1} << len) code.table[j] = entry;
      } else {
        code.table[reversed & (tableSize - 1)] = MakeEntry(kLongCode, 0);
      }
    }
    next <<= 1;
  }
  code.singleOneBitCode = used == 1 && code.count[1] == 1;
  if (used == 0) return TCodeShape::Empty;
  return left == 0 ? TCodeShape::Complete : TCodeShape::Incomplete;
}

std::uint32_t DecodeLongCode(const TPrefixCode& code, std::uint64_t bits) {
  // Walks the lengths, keeping `value` as the code read so far and `first` as the first
  // code of the current length; a code below first + count belongs to this length.
  std::int32_t value = 0, first = 0, index = 0;
  for (int len = 1; len <= code.maxLength; ++len) {
    value |= static_cast<std::int32_t>(bits & 1);
    bits >>= 1;
    const std::int32_t count = code.count[len];
    if (value - count < first) {
      return code.symbolEntries[code.sorted[index + (value - first)]] | static_cast<std::uint32_t>(len);
    }
    index += count;
    first = (first + count) << 1;
    value <<= 1;
  }
  return MakeEntry(kInvalid, 0);
}

}  // namespace unzip::detail
