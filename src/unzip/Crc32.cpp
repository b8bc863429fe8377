// CRC-32, table-driven "slicing by 16": sixteen 256-entry tables let the loop fold sixteen
// input bytes per step with independent lookups, instead of one dependent lookup per byte.
// Table k maps a byte b to the CRC of b followed by k zero bytes, so the sixteen partial
// results can simply be XORed together. The tables are built at compile time.
#include "unzip/Crc32.h"

#include <array>

namespace unzip {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 16;

using TCrcTables = std::array<std::array<std::uint32_t, 256>, kSlices>;

constexpr TCrcTables MakeTables() {
  TCrcTables t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t c = b;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][b] = c;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (std::uint32_t b = 0; b < 256; ++b) {
      const std::uint32_t prev = t[k - 1][b];
      t[k][b] = (prev >> 8) ^ t[0][prev & 0xFF];
    }
  }
  return t;
}

constexpr TCrcTables kTables = MakeTables();

// Little-endian load; the tables assume the first byte in the low bits.
inline std::uint32_t Load32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
  const auto& t = kTables;
  while (length >= kSlices) {
    const std::uint32_t a = Load32(data) ^ crc;
    const std::uint32_t b = Load32(data + 4);
    const std::uint32_t c = Load32(data + 8);
    const std::uint32_t d = Load32(data + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    data += kSlices;
    length -= kSlices;
  }
  while (length-- > 0) crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
  return crc;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length) {
  return Crc32Update(kCrc32Initial, data, length) ^ kCrc32Initial;
}

}  // namespace unzip
