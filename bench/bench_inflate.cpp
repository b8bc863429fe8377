// Inflate benchmark: our decoder plus CRC-32, against zlib's inflate plus zlib's crc32(),
// both producing 16000-byte output blocks as the extraction consumes them.
//
//   bench_inflate [megabytes per data set, default 100] [rounds, default 5]
//
// Two seeded data sets are made in memory and compressed with zlib (level 6, raw deflate,
// one stream per file): English-like text in 1 MB files, and a mixed set of thousands of
// small text files plus a few large structured binaries. Rounds alternate between the two
// decoders so that both see the same machine state; the medians of the thread's CPU time
// (robust on a shared machine) and of the wall time are printed with their ratios. Every
// file's CRC-32 is checked against the original data.
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "unzip/Crc32.h"
#include "unzip/Decode.h"

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct TFile {
  std::string compressed;
  std::size_t size = 0;
  std::uint32_t crc = 0;
};

struct TDataSet {
  const char* name;
  std::vector<TFile> files;
  std::size_t totalBytes = 0;
  std::size_t compressedBytes = 0;
};

// ---- Data ---------------------------------------------------------------------------------

const char* const kWords[] = {
    "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be", "by", "on",
    "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have", "an", "had", "they",
    "you", "were", "their", "one", "all", "we", "can", "her", "has", "there", "been", "if", "more",
    "when", "will", "would", "who", "so", "no", "installation", "directory", "archive", "subsystem",
    "program", "group", "registry", "library", "window", "progress", "description", "system",
    "between", "through", "during", "without", "against", "another", "because", "however", "several",
    "company", "product", "customer", "version", "network", "machine", "engineer", "document",
    "number", "people", "water", "history", "river", "mountain", "morning", "evening", "question",
    "answer", "reason", "country", "village", "garden", "letter", "window", "kitchen", "station"};

std::string MakeText(std::mt19937& rng, std::size_t bytes) {
  std::string s;
  s.reserve(bytes + 64);
  std::uniform_int_distribution<int> word(0, sizeof kWords / sizeof kWords[0] - 1);
  std::uniform_int_distribution<int> sentence(4, 18), paragraph(3, 9), percent(0, 99);
  while (s.size() < bytes) {
    const int sentences = paragraph(rng);
    for (int i = 0; i < sentences && s.size() < bytes; ++i) {
      const int words = sentence(rng);
      for (int w = 0; w < words; ++w) {
        std::string t = kWords[word(rng)];
        if (w == 0) t[0] = static_cast<char>(t[0] - 'a' + 'A');
        s += t;
        if (w + 1 < words) s += percent(rng) < 8 ? ", " : " ";
      }
      s += percent(rng) < 10 ? "? " : ". ";
    }
    s += "\r\n";
  }
  s.resize(bytes);
  return s;
}

// Fixed-layout records, copies of earlier stretches with small changes, runs, and noise.
std::string MakeBinary(std::mt19937& rng, std::size_t bytes) {
  std::string s;
  s.reserve(bytes + 4096);
  std::uniform_int_distribution<int> kind(0, 9), byte(0, 255), small(1, 400);
  std::uint32_t counter = 0;
  while (s.size() < bytes) {
    const int k = kind(rng);
    if (k < 5) {
      for (int r = 0; r < 16; ++r) {
        char rec[32] = {};
        std::uint32_t id = counter++;
        std::memcpy(rec, &id, 4);
        rec[4] = static_cast<char>(byte(rng) & 7);
        std::snprintf(rec + 8, 16, "ITEM%06u", id % 100000);
        const std::uint32_t value = id * 2654435761u;
        std::memcpy(rec + 24, &value, 4);
        s.append(rec, sizeof rec);
      }
    } else if (k < 8 && s.size() > 5000) {
      const std::size_t from = s.size() - std::uniform_int_distribution<std::size_t>(100, std::min<std::size_t>(s.size(), 30000))(rng);
      std::string piece = s.substr(from, static_cast<std::size_t>(small(rng)) * 4);
      if (!piece.empty()) piece[piece.size() / 2] = static_cast<char>(byte(rng));
      s += piece;
    } else if (k == 8) {
      s.append(static_cast<std::size_t>(small(rng)), static_cast<char>(byte(rng)));
    } else {
      for (int i = small(rng); i > 0; --i) s.push_back(static_cast<char>(byte(rng)));
    }
  }
  s.resize(bytes);
  return s;
}

TFile Compress(const std::string& data) {
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  TFile f;
  f.compressed.resize(deflateBound(&zs, data.size()));
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(f.compressed.data());
  zs.avail_out = static_cast<uInt>(f.compressed.size());
  deflate(&zs, Z_FINISH);
  f.compressed.resize(zs.total_out);
  deflateEnd(&zs);
  f.size = data.size();
  f.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  return f;
}

void Add(TDataSet& set, const std::string& data) {
  set.files.push_back(Compress(data));
  set.totalBytes += data.size();
  set.compressedBytes += set.files.back().compressed.size();
}

TDataSet MakeTextSet(std::size_t megabytes) {
  std::mt19937 rng(1);
  TDataSet set{"text", {}};
  for (std::size_t i = 0; i < megabytes; ++i) Add(set, MakeText(rng, 1 << 20));
  return set;
}

TDataSet MakeMixedSet(std::size_t megabytes) {
  std::mt19937 rng(2);
  TDataSet set{"mixed", {}};
  const std::size_t target = megabytes << 20;
  const std::size_t binaries = target / 2;
  while (set.totalBytes < binaries) Add(set, MakeBinary(rng, std::min<std::size_t>(binaries / 4, binaries - set.totalBytes + 1)));
  std::uniform_int_distribution<std::size_t> smallSize(200, 30000);
  while (set.totalBytes < target) Add(set, MakeText(rng, smallSize(rng)));
  return set;
}

// ---- The two decoders ---------------------------------------------------------------------

class TMemoryInput : public unzip::TDecodeInput {
 public:
  explicit TMemoryInput(const std::string& data) : data_(data) {}
  std::size_t Refill(std::uint8_t* buffer, std::size_t capacity) override {
    const std::size_t n = std::min(capacity, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::string& data_;
  std::size_t pos_ = 0;
};

class TCrcOutput : public unzip::TDecodeOutput {
 public:
  void Write(const std::uint8_t* data, std::size_t length) override {
    crc = unzip::Crc32Update(crc, data, length);
    bytes += length;
  }
  std::uint32_t crc = unzip::kCrc32Initial;
  std::size_t bytes = 0;
};

bool OursOne(unzip::TDecodeWorkspace& ws, const TFile& f) {
  TMemoryInput in(f.compressed);
  TCrcOutput out;
  unzip::TDecodeContext ctx{in, out, ws, static_cast<std::int64_t>(f.size), static_cast<std::int64_t>(f.compressed.size())};
  unzip::Inflate(ctx);
  return out.bytes == f.size && (out.crc ^ unzip::kCrc32Initial) == f.crc;
}

bool ZlibOne(std::uint8_t* block, const TFile& f) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  std::size_t pos = 0;
  uLong crc = crc32(0, nullptr, 0);
  std::size_t total = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (zs.avail_in == 0 && pos < f.compressed.size()) {
      const std::size_t n = std::min<std::size_t>(unzip::kIoBufferSize, f.compressed.size() - pos);
      zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(f.compressed.data() + pos));
      zs.avail_in = static_cast<uInt>(n);
      pos += n;
    }
    zs.next_out = block;
    zs.avail_out = unzip::kIoBufferSize;
    rc = inflate(&zs, Z_NO_FLUSH);
    const std::size_t produced = unzip::kIoBufferSize - zs.avail_out;
    crc = crc32(crc, block, static_cast<uInt>(produced));
    total += produced;
  }
  inflateEnd(&zs);
  return rc == Z_STREAM_END && total == f.size && crc == f.crc;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  auto workspace = std::make_unique<unzip::TDecodeWorkspace>();
  std::vector<std::uint8_t> block(unzip::kIoBufferSize);

  std::printf("%-6s %6s %6s %7s | %9s %9s %6s | %9s %9s %6s\n", "set", "files", "MB", "deflate", "ours cpu", "zlib cpu",
              "ratio", "ours wall", "zlib wall", "ratio");
  bool allOk = true;
  for (auto make : {MakeTextSet, MakeMixedSet}) {
    const TDataSet set = make(megabytes);
    std::vector<double> ours, theirs, oursCpu, theirsCpu;
    for (int r = 0; r < rounds; ++r) {
      const auto t0 = Clock::now();
      const double c0 = ThreadCpuMs();
      for (const auto& f : set.files) allOk &= OursOne(*workspace, f);
      const auto t1 = Clock::now();
      const double c1 = ThreadCpuMs();
      for (const auto& f : set.files) allOk &= ZlibOne(block.data(), f);
      const auto t2 = Clock::now();
      const double c2 = ThreadCpuMs();
      ours.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      theirs.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
      oursCpu.push_back(c1 - c0);
      theirsCpu.push_back(c2 - c1);
    }
    const double o = Median(ours), z = Median(theirs), oc = Median(oursCpu), zc = Median(theirsCpu);
    std::printf("%-6s %6zu %6.1f %7.3f | %9.1f %9.1f %6.3f | %9.1f %9.1f %6.3f\n", set.name, set.files.size(),
                set.totalBytes / 1048576.0, static_cast<double>(set.compressedBytes) / set.totalBytes, oc, zc, oc / zc, o, z,
                o / z);
    std::fflush(stdout);
  }
  if (!allOk) {
    std::printf("MISMATCH: a decoder's output did not match the original data\n");
    return 1;
  }
  return 0;
}
