#include "unzip/UnZipCrypt.h"

#include <array>

namespace unzip {
namespace {

// The reflected CRC-32 table (polynomial 0xEDB88320); the key schedule steps it one byte at
// a time, which is all it needs, so it keeps its own copy rather than the block CRC's.
constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

inline std::uint32_t CrcStep(std::uint32_t crc, std::uint8_t b) {
  return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace

void TZipDecrypter::Stir(std::uint8_t plain) {
  keys_[0] = CrcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcStep(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
}

void TZipDecrypter::Reset(std::string_view password) {
  keys_[0] = 0x12345678u;
  keys_[1] = 0x23456789u;
  keys_[2] = 0x34567890u;
  for (char c : password) Stir(static_cast<std::uint8_t>(c));
}

void TZipDecrypter::Decrypt(std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    std::uint8_t plain = data[i] ^ KeyStreamByte();
    Stir(plain);
    data[i] = plain;
  }
}

}  // namespace unzip
