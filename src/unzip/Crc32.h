// CRC-32 of the ZIP format: polynomial 0xEDB88320 in its reflected form.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unzip {

// The register value an entry's CRC starts from; the finished CRC-32 is its complement
// (crc ^ kCrc32Initial).
inline constexpr std::uint32_t kCrc32Initial = 0xFFFFFFFFu;

// Runs `length` bytes through the CRC register `crc` and returns the new register. No
// complement is applied on the way in or out, so blocks can be chained:
//   crc = kCrc32Initial; crc = Crc32Update(crc, a, n); ...; result = ~crc;
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t length);

// The finished CRC-32 of one buffer (with both complements), for convenience.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t length);

}  // namespace unzip
