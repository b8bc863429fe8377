// Inflate against zlib as the referee: seeded streams of many kinds of data, compressed by
// zlib at every level and strategy, must decode to the original bytes (and to what zlib's
// own inflate produces), also when the refills cut the stream at odd places.
#include <zlib.h>

#include <random>

#include "decode_test_support.h"

namespace {

using namespace decodetest;

struct TDeflateOptions {
  int level = Z_DEFAULT_COMPRESSION;
  int strategy = Z_DEFAULT_STRATEGY;
  int windowBits = 15;
  int memLevel = 8;
  std::size_t flushEvery = 0;  // > 0: a Z_SYNC_FLUSH (empty stored block) every so many bytes
};

std::string ZlibDeflate(const std::string& data, const TDeflateOptions& o) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, o.level, Z_DEFLATED, -o.windowBits, o.memLevel, o.strategy), Z_OK);
  std::string out(deflateBound(&zs, data.size()) + 64 + (o.flushEvery ? 8 * (data.size() / o.flushEvery + 1) : 0), '\0');
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  std::size_t pos = 0;
  do {
    const std::size_t n = o.flushEvery ? std::min(o.flushEvery, data.size() - pos) : data.size() - pos;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + pos));
    zs.avail_in = static_cast<uInt>(n);
    pos += n;
    const int flush = pos == data.size() ? Z_FINISH : Z_SYNC_FLUSH;
    const int rc = deflate(&zs, flush);
    EXPECT_TRUE(rc == Z_OK || rc == Z_STREAM_END);
  } while (pos < data.size());
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

std::string ZlibInflate(const std::string& compressed, std::size_t size) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  std::string out(size + 1, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  zs.avail_in = static_cast<uInt>(compressed.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

// Data whose shape steers the encoder into the cases worth covering.
std::string MakeData(std::mt19937& rng, int kind, std::size_t size) {
  std::string s;
  s.reserve(size);
  auto byte = [&] { return static_cast<char>(rng() & 0xFF); };
  switch (kind % 7) {
    case 0:  // incompressible: stored blocks
      while (s.size() < size) s.push_back(byte());
      break;
    case 1: {  // text from a small alphabet: literal-heavy dynamic blocks
      const char alphabet[] = "etaoin shrdlu\r\n";
      while (s.size() < size) s.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
      break;
    }
    case 2:  // long runs: length 258 matches at distance 1
      while (s.size() < size) s.append(std::min<std::size_t>(size - s.size(), 300 + rng() % 2000), byte());
      break;
    case 3: {  // a random block repeated 32 KiB later: distances at the window's far end
      std::string unit;
      for (int i = 0; i < 32768 - static_cast<int>(rng() % 3); ++i) unit.push_back(byte());
      while (s.size() < size) s += unit;
      break;
    }
    case 4: {  // short patterns of period 2-7: overlapping copies
      const std::size_t period = 2 + rng() % 6;
      std::string unit;
      for (std::size_t i = 0; i < period; ++i) unit.push_back(byte());
      while (s.size() < size) s += rng() % 50 ? unit : std::string(1, byte());
      break;
    }
    case 5:  // every byte value with skewed frequencies: long literal codes
      while (s.size() < size) {
        const unsigned r = rng();
        s.push_back(static_cast<char>((r & 0xFFFF) < 60000 ? (r >> 16) % 8 : (r >> 16) & 0xFF));
      }
      break;
    default: {  // copies of earlier stretches at random distances with random lengths
      while (s.size() < size) {
        if (s.size() > 300 && rng() % 3) {
          const std::size_t dist = 1 + rng() % std::min<std::size_t>(s.size(), 32768);
          const std::size_t len = 3 + rng() % 300;
          for (std::size_t i = 0; i < len; ++i) s.push_back(s[s.size() - dist]);
        } else {
          s.push_back(byte());
        }
      }
      break;
    }
  }
  s.resize(size);
  return s;
}

int gStreamsChecked = 0;
// Longer than the history plus one run of the inflater's output buffer, so that the history
// is slid down during a match-heavy stream.
constexpr std::size_t kInflateEdgeRun = unzip::kInflateHistory + unzip::kInflateRun + 1000;

void CheckRoundTrip(const std::string& data, const TDeflateOptions& o, std::size_t chunk = unzip::kIoBufferSize) {
  const std::string z = ZlibDeflate(data, o);
  const TDecoded r = DecodeBytes(8, 0, z, static_cast<std::int64_t>(data.size()), chunk);
  ASSERT_EQ(r.bytes.size(), data.size()) << "level " << o.level << " strategy " << o.strategy;
  ASSERT_TRUE(r.bytes == data) << "level " << o.level << " strategy " << o.strategy;
  ASSERT_EQ(r.crc, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()))));
  ASSERT_TRUE(ZlibInflate(z, data.size()) == r.bytes);
  ++gStreamsChecked;
}

TEST(InflateAgainstZlib, EveryLevelAndStrategyOnSeededData) {
  std::mt19937 rng(20261207);
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  const std::size_t sizes[] = {0, 1, 2, 3, 100, 257, 4000, 16000, 16001, 40000, 70000, 140000};
  for (int level = 0; level <= 9; ++level) {
    for (int strategy : strategies) {
      for (int kind = 0; kind < 7; ++kind) {
        const std::size_t size = sizes[rng() % (sizeof sizes / sizeof sizes[0])];
        TDeflateOptions o;
        o.level = level;
        o.strategy = strategy;
        CheckRoundTrip(MakeData(rng, kind, size), o);
      }
    }
  }
  EXPECT_GE(gStreamsChecked, 350);
}

TEST(InflateAgainstZlib, EdgeCases) {
  std::mt19937 rng(1);
  std::string farCopies;  // a 32 KiB block and then its exact repetition: distance 32768
  for (int i = 0; i < 32768; ++i) farCopies.push_back(static_cast<char>(rng()));
  farCopies += farCopies;
  const std::string edges[] = {"", "x", std::string(258, 'a'), std::string(259, 'a'), std::string(258 * 200 + 1, 'q'),
                               farCopies, std::string(16000, 'z'), std::string(kInflateEdgeRun, 'r')};
  for (const auto& data : edges) {
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_RLE}) {
        TDeflateOptions o;
        o.level = level;
        o.strategy = strategy;
        CheckRoundTrip(data, o);
      }
    }
  }
}

TEST(InflateAgainstZlib, SmallWindowsMemoryLevelsAndSyncFlushes) {
  std::mt19937 rng(77);
  int checked = 0;
  for (int i = 0; i < 400; ++i) {
    TDeflateOptions o;
    o.level = static_cast<int>(rng() % 10);
    o.windowBits = 9 + static_cast<int>(rng() % 7);
    o.memLevel = 1 + static_cast<int>(rng() % 9);
    o.flushEvery = rng() % 3 == 0 ? 1 + rng() % 5000 : 0;
    const std::size_t size = rng() % 3 == 0 ? rng() % 100 : rng() % 90000;
    CheckRoundTrip(MakeData(rng, static_cast<int>(rng() % 7), size), o);
    ++checked;
  }
  EXPECT_EQ(checked, 400);
}

TEST(InflateAgainstZlib, RefillsCutAtOddPlaces) {
  std::mt19937 rng(5);
  for (int i = 0; i < 300; ++i) {
    TDeflateOptions o;
    o.level = static_cast<int>(rng() % 10);
    o.strategy = rng() % 4 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY;
    const std::size_t chunk = 1 + rng() % 40;
    CheckRoundTrip(MakeData(rng, static_cast<int>(rng() % 7), rng() % 20000), o, chunk);
  }
}

TEST(InflateAgainstZlib, TruncatedStreamsEndEarlyWithoutReadingPastTheData) {
  std::mt19937 rng(11);
  for (int i = 0; i < 100; ++i) {
    const std::string data = MakeData(rng, static_cast<int>(rng() % 7), 1000 + rng() % 50000);
    TDeflateOptions o;
    o.level = static_cast<int>(rng() % 10);
    const std::string z = ZlibDeflate(data, o);
    const std::string cut = z.substr(0, rng() % z.size());
    const TDecoded r = DecodeBytes(8, 0, cut, static_cast<std::int64_t>(data.size()), 1 + rng() % 16000);
    EXPECT_LT(r.bytes.size(), data.size());
    EXPECT_EQ(r.bytes, data.substr(0, r.bytes.size())) << "a truncated stream produced wrong bytes";
  }
}

}  // namespace
