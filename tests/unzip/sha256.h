// SHA-256 (FIPS 180-4) for the tests: the corpus manifest names every expected content by
// its digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest as 64 lower-case hex digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const std::uint8_t* p);
  std::uint32_t state_[8];
  std::uint8_t pending_[64];
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// Digest of a byte string, and of a whole file (empty when it cannot be read).
std::string Sha256Hex(std::string_view bytes);
std::string Sha256OfFile(const std::string& path);
