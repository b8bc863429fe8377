// Helpers of the decoder tests: an in-memory input source and output sink, a one-call
// decode, and a reader of the corpus manifest that finds an entry's data through its local
// header (the decoder tests do not depend on the directory reader).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "corpus_manifest.h"
#include "unzip/Crc32.h"
#include "unzip/Decode.h"

namespace decodetest {

// Delivers a byte string in refills of at most `chunk` bytes (the extraction delivers
// kIoBufferSize; smaller chunks move the refill boundaries around).
class TMemoryInput : public unzip::TDecodeInput {
 public:
  explicit TMemoryInput(std::string data, std::size_t chunk = unzip::kIoBufferSize)
      : data_(std::move(data)), chunk_(chunk) {}
  std::size_t Refill(std::uint8_t* buffer, std::size_t capacity) override {
    ++refills_;
    const std::size_t n = std::min({capacity, chunk_, data_.size() - pos_});
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    if (n == 0) ++emptyRefills_;
    return n;
  }
  std::size_t Consumed() const { return pos_; }
  int EmptyRefills() const { return emptyRefills_; }

 private:
  std::string data_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
  int refills_ = 0;
  int emptyRefills_ = 0;
};

// Collects the output and checks the block rule: every block but the last is exactly
// kIoBufferSize bytes, and none is empty.
// (Stored data is passed on refill by refill, so only refills of the real size give it
// full blocks.)
class TCollectingOutput : public unzip::TDecodeOutput {
 public:
  explicit TCollectingOutput(bool checkBlocks = true) : checkBlocks_(checkBlocks) {}
  void Write(const std::uint8_t* data, std::size_t length) override {
    EXPECT_GT(length, 0u);
    EXPECT_LE(length, unzip::kIoBufferSize);
    if (lastBlockShort_ && checkBlocks_) ADD_FAILURE() << "a block followed a short block";
    lastBlockShort_ = length < unzip::kIoBufferSize;
    bytes.append(reinterpret_cast<const char*>(data), length);
    ++blocks;
  }
  std::string bytes;
  int blocks = 0;

 private:
  bool checkBlocks_;
  bool lastBlockShort_ = false;
};

struct TDecoded {
  bool known = false;  // the method was one the decoders support
  std::string bytes;
  std::uint32_t crc = 0;
  int blocks = 0;
  std::size_t consumed = 0;
};

inline TDecoded DecodeBytes(std::uint16_t method, std::uint16_t flags, const std::string& compressed,
                            std::int64_t uncompressedSize, std::size_t chunk = unzip::kIoBufferSize) {
  static auto workspace = std::make_unique<unzip::TDecodeWorkspace>();
  TMemoryInput input(compressed, chunk);
  TCollectingOutput output(method != 0 || chunk >= unzip::kIoBufferSize);
  unzip::TDecodeContext ctx{input, output, *workspace, uncompressedSize,
                            static_cast<std::int64_t>(compressed.size())};
  TDecoded r;
  r.known = unzip::Decode(ctx, method, flags);
  r.bytes = std::move(output.bytes);
  r.crc = unzip::Crc32(reinterpret_cast<const std::uint8_t*>(r.bytes.data()), r.bytes.size());
  r.blocks = output.blocks;
  r.consumed = input.Consumed();
  return r;
}

inline TDecoded Inflate(const std::string& compressed, std::int64_t size = 0) {
  return DecodeBytes(8, 0, compressed, size);
}

// Writes a bitstream least significant bit first, as every ZIP method packs its bits.
class TBitWriter {
 public:
  // `n` bits of `value`, low bit first (header fields, extra bits, LZW codes).
  TBitWriter& Bits(std::uint32_t value, int n) {
    for (int i = 0; i < n; ++i) Bit((value >> i) & 1);
    return *this;
  }
  // A prefix code of `length` bits, most significant bit first.
  TBitWriter& Code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
    return *this;
  }
  TBitWriter& Bytes(const std::string& bytes) {
    for (char c : bytes) Bits(static_cast<std::uint8_t>(c), 8);
    return *this;
  }
  // Pads to the next byte boundary with zero bits.
  TBitWriter& Align() {
    while (count_ != 0) Bit(0);
    return *this;
  }
  std::string Data() const {
    std::string out = data_;
    if (count_ != 0) out.push_back(static_cast<char>(pending_));
    return out;
  }

 private:
  void Bit(std::uint32_t b) {
    pending_ |= b << count_;
    if (++count_ == 8) {
      data_.push_back(static_cast<char>(pending_));
      pending_ = 0;
      count_ = 0;
    }
  }
  std::string data_;
  std::uint32_t pending_ = 0;
  int count_ = 0;
};

// Canonical codes for a set of code lengths (the construction of RFC 1951, 3.2.2).
inline std::vector<std::uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
  int maxLength = 0;
  for (int l : lengths) maxLength = std::max(maxLength, l);
  std::vector<std::uint32_t> count(maxLength + 2, 0), next(maxLength + 2, 0), codes(lengths.size(), 0);
  for (int l : lengths) ++count[l];
  count[0] = 0;
  std::uint32_t code = 0;
  for (int bits = 1; bits <= maxLength; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

using corpus::HexToBytes;
using corpus::ReadManifest;
using corpus::SplitTabs;
using corpus::TManifestEntry;

inline std::uint32_t Le16(const std::string& s, std::size_t at) {
  return std::uint32_t(std::uint8_t(s[at])) | std::uint32_t(std::uint8_t(s[at + 1])) << 8;
}

// The compressed data of a single-disk archive's entry: the local header whose name
// matches, skipped over with the lengths it gives; the size comes from the manifest
// (local headers written to a pipe carry 0). Empty optional-like result when not found.
inline bool FindEntryData(const std::string& archive, const TManifestEntry& e, std::string& data) {
  const std::string name = HexToBytes(e.pathHex);
  const std::string sig("PK\x03\x04", 4);
  for (std::size_t at = archive.find(sig); at != std::string::npos; at = archive.find(sig, at + 1)) {
    if (at + 30 > archive.size()) break;
    const std::size_t nameLen = Le16(archive, at + 26), extraLen = Le16(archive, at + 28);
    if (Le16(archive, at + 8) != e.method || archive.compare(at + 30, nameLen, name) != 0 || nameLen != name.size()) {
      continue;
    }
    const std::size_t start = at + 30 + nameLen + extraLen;
    if (start + static_cast<std::size_t>(e.compressedSize) > archive.size()) return false;
    data = archive.substr(start, static_cast<std::size_t>(e.compressedSize));
    return true;
  }
  return false;
}

}  // namespace decodetest
