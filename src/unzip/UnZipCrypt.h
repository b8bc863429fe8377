// Traditional PKWARE encryption ("ZipCrypto"), decryption side.
//
// Three 32-bit keys start at fixed values and are stirred by every byte of the password and
// then by every plaintext byte:
//   key0 = crc32(key0, byte)
//   key1 = (key1 + (key0 & 0xFF)) * 134775813 + 1
//   key2 = crc32(key2, key1 >> 24)
// The keystream byte is ((t * (t ^ 1)) >> 8) & 0xFF with t = (key2 | 2) & 0xFFFF.
// An encrypted entry's data starts with a 12-byte header; its last plaintext byte must equal
// a check byte known from the directory, which is how a wrong password is detected (with a
// 1 in 256 chance of a false pass, caught later by the CRC-32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace unzip {

constexpr std::size_t kCryptHeaderSize = 12;

class TZipDecrypter {
 public:
  TZipDecrypter() { Reset(std::string_view()); }
  // Starts over with the keys made from the password's bytes.
  void Reset(std::string_view password);
  // Decrypts in place and advances the keys.
  void Decrypt(std::uint8_t* data, std::size_t size);

 private:
  std::uint8_t KeyStreamByte() const {
    std::uint32_t t = (keys_[2] | 2) & 0xFFFF;
    return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
  }
  void Stir(std::uint8_t plain);
  std::uint32_t keys_[3];
};

}  // namespace unzip
