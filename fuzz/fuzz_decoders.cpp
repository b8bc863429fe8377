// libFuzzer target for the five decoders. The first byte picks the decoder and its
// parameters, the next two the entry's uncompressed size; the rest is the compressed data.
//   byte 0, bits 0-2: 0 stored, 1 shrunk, 2 reduced, 3 imploded, 4-7 deflated
//           bits 3-4: reduce factor - 1, or implode flag bits 1-2
//           bit 5:    refills of 7 bytes instead of 16000, to move refill boundaries
// Every decoder must end without a crash, a hang or an access outside its buffers, must
// keep to the output block rule, and must pass an exception thrown by the output sink
// through. Deflate output is also compared with zlib's whenever zlib finishes the stream.
//
// Build and run: fuzz/build_fuzz_decoders.sh
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "unzip/Decode.h"

namespace {

using namespace unzip;

// Stands in for the extraction's "larger than the uncompressed size" exception.
struct TTooLarge {};

class TInput : public TDecodeInput {
 public:
  TInput(const std::uint8_t* data, std::size_t size, std::size_t chunk) : data_(data), size_(size), chunk_(chunk) {}
  std::size_t Refill(std::uint8_t* buffer, std::size_t capacity) override {
    const std::size_t n = std::min({capacity, chunk_, size_ - pos_});
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_, chunk_, pos_ = 0;
};

class TOutput : public TDecodeOutput {
 public:
  TOutput(std::size_t limit, bool checkBlocks) : limit_(limit), checkBlocks_(checkBlocks) {}
  void Write(const std::uint8_t* data, std::size_t length) override {
    if (length == 0 || length > kIoBufferSize || (checkBlocks_ && sawShort_)) std::abort();
    sawShort_ = length < kIoBufferSize;
    if (bytes.size() + length > limit_) throw TTooLarge{};
    bytes.append(reinterpret_cast<const char*>(data), length);
  }
  std::string bytes;

 private:
  std::size_t limit_;
  bool checkBlocks_;
  bool sawShort_ = false;
};

constexpr const char* kFamilies[5] = {"stored", "shrunk", "reduced", "imploded", "deflated"};

// Time and runs per decoder family, printed when the fuzzer exits.
struct TStats {
  double seconds[5] = {};
  unsigned long runs[5] = {};
  ~TStats() {
    for (int i = 0; i < 5; ++i) std::fprintf(stderr, "family %-9s runs %10lu  time %8.1f s\n", kFamilies[i], runs[i], seconds[i]);
  }
} gStats;

// zlib's raw inflate of the whole input; true when it reached the end of the stream.
bool ZlibInflate(const std::uint8_t* data, std::size_t size, std::size_t limit, std::string& out) {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return false;
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = static_cast<uInt>(size);
  // Deflate expands at most 1032:1; a few more bytes tell an overlong result.
  static std::vector<Bytef> buffer;
  buffer.resize(std::min(limit, size * 1032 + 64) + 1);
  zs.next_out = buffer.data();
  zs.avail_out = static_cast<uInt>(buffer.size());
  const int rc = inflate(&zs, Z_FINISH);
  out.assign(reinterpret_cast<const char*>(buffer.data()), zs.total_out);
  inflateEnd(&zs);
  return rc == Z_STREAM_END && out.size() <= limit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static auto workspace = std::make_unique<TDecodeWorkspace>();
  const std::uint8_t selector = data[0];
  const std::size_t declared = std::size_t{data[1]} | std::size_t{data[2]} << 8;
  const std::uint8_t* payload = data + 3;
  const std::size_t payloadSize = size - 3;
  const int family = std::min(selector & 7, 4);
  const int param = (selector >> 3) & 3;
  const std::size_t chunk = (selector & 0x20) ? 7 : kIoBufferSize;
  // Reduce and explode stop at the declared size; the others are held to a generous cap,
  // as the extraction holds them to the entry's size.
  const std::size_t limit = (family == 2 || family == 3) ? declared : 4 * 1024 * 1024;

  TInput input(payload, payloadSize, chunk);
  TOutput output(limit, family != 0 || chunk == kIoBufferSize);
  TDecodeContext ctx{input, output, *workspace, static_cast<std::int64_t>(declared), static_cast<std::int64_t>(payloadSize)};
  const auto start = std::chrono::steady_clock::now();
  bool tooLarge = false;
  try {
    switch (family) {
      case 0: Unstore(ctx); break;
      case 1: Unshrink(ctx); break;
      case 2: Unreduce(ctx, param + 1); break;
      case 3: Explode(ctx, static_cast<std::uint16_t>(param << 1)); break;
      default: Inflate(ctx); break;
    }
  } catch (const TTooLarge&) {
    tooLarge = true;
  }
  gStats.seconds[family] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ++gStats.runs[family];

  if (family == 0 && output.bytes != std::string(reinterpret_cast<const char*>(payload), payloadSize)) std::abort();
  if ((family == 2 || family == 3) && output.bytes.size() > declared) std::abort();
  if (family == 4 && !tooLarge) {
    std::string expected;
    if (ZlibInflate(payload, payloadSize, limit, expected) && expected != output.bytes) std::abort();
  }
  return 0;
}
