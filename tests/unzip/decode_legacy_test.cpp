// Shrink, reduce, implode and store on hand-built streams, and the CRC-32.
#include "decode_test_support.h"

namespace {

using namespace decodetest;

// ---- Shrink ---------------------------------------------------------------------------

constexpr std::uint16_t kShrunk = 1;

struct TCodes {
  TBitWriter w;
  int width = 9;
  TCodes& operator()(std::uint32_t code) {
    w.Bits(code, width);
    return *this;
  }
  TCodes& Widen() {
    (*this)(256)(1);
    ++width;
    return *this;
  }
  TCodes& PartialClear() { return (*this)(256)(2); }
};

std::string Unshrink(const TCodes& codes) { return DecodeBytes(kShrunk, 0, codes.w.Data(), 1000).bytes; }

TEST(Unshrink, CodeDefinedByItsOwnUse) {
  // a, b -> 257 = "ab"; 257 -> 258 = "ba"; 259 is not yet defined: "ab" + "a".
  TCodes c;
  c('a')('b')(257)(259);
  EXPECT_EQ(Unshrink(c), "abababa");
}

TEST(Unshrink, WiderCodesAfterTheControlCode) {
  TCodes c;
  c('x').Widen()('y')(257);  // 'y' and 257 = "xy" are sent with 10 bits
  EXPECT_EQ(Unshrink(c), "xyxy");
}

TEST(Unshrink, CodesWiderThanThirteenBitsAreRefused) {
  TCodes c;
  c('a').Widen().Widen().Widen().Widen();  // 9 -> 13 bits
  c('b');
  c(256)(1);  // asks for 14 bits: decoding ends here
  c.width = 14;
  c('c')('d');
  EXPECT_EQ(Unshrink(c), "ab");
}

TEST(Unshrink, PartialClearFreesOnlyLeafCodes) {
  TCodes c;
  // a, b -> 257 "ab"; 257 -> 258 "ba"; c -> 259 "abc". 257 is the prefix of 259 and stays;
  // 258 and 259 are leaves and become free, so the next codes reuse them.
  c('a')('b')(257)('c');
  c.PartialClear();
  c('d');   // 258 = "cd"
  c(258);   // "cd", 259 = "dc"
  c(257);   // still "ab"
  c(259);   // "dc"
  EXPECT_EQ(Unshrink(c), "ababcdcdabdc");
}

TEST(Unshrink, PartialClearAtThirteenBits) {
  TCodes c;
  c('a').Widen().Widen().Widen().Widen();
  c('b')(257)('c');  // 13-bit codes now: 257 = "ab", 258 = "ba", 259 = "abc" as above
  c.PartialClear();
  c('d')(258)(257)(259);
  EXPECT_EQ(Unshrink(c), "ababcdcdabdc");
}

TEST(Unshrink, EndsWithTheInputAndIgnoresPaddingBits) {
  TCodes c;
  c('o')('k');  // 18 bits: 6 padding bits in the last byte
  const auto r = DecodeBytes(kShrunk, 0, c.w.Data(), 2);
  EXPECT_EQ(r.bytes, "ok");
  EXPECT_EQ(DecodeBytes(kShrunk, 0, "", 0).bytes, "");
}

TEST(Unshrink, CodesThroughFreeEntriesEndDecoding) {
  TCodes c;
  // 300 is neither defined nor the next free code: it is decoded as the previous string
  // plus its first byte ("aa") but stays undefined; 258 is then defined with 300 as its
  // prefix, and decoding 258 runs into the free entry.
  c('a')(300)('b')(258)('c');
  EXPECT_EQ(Unshrink(c), "aaab");
}

// ---- Reduce ---------------------------------------------------------------------------

// Follower sets for the byte values 255 down to 0, all empty except those given.
TBitWriter ReduceHeader(const std::vector<std::pair<int, std::string>>& sets = {}) {
  TBitWriter w;
  for (int value = 255; value >= 0; --value) {
    std::string followers;
    for (const auto& [v, f] : sets) {
      if (v == value) followers = f;
    }
    w.Bits(static_cast<std::uint32_t>(followers.size()), 6).Bytes(followers);
  }
  return w;
}

std::string Unreduce(int factor, const std::string& data, std::int64_t size) {
  return DecodeBytes(static_cast<std::uint16_t>(factor + 1), 0, data, size).bytes;
}

TEST(Unreduce, LiteralsMatchesAndTheEscapedDle) {
  // Factor 4: V's low 4 bits are length - 3, its high 4 bits distance bits 8-11.
  TBitWriter w = ReduceHeader();
  w.Bytes("ABC");
  w.Bits(144, 8).Bits(0x02, 8).Bits(2, 8);  // DLE, V (length 5), distance 2 + 1
  w.Bits(144, 8).Bits(0, 8);                // DLE, 0: the byte 144
  EXPECT_EQ(Unreduce(4, w.Data(), 9), "ABCABCAB\x90");
}

TEST(Unreduce, LengthExtensionByteForEveryFactor) {
  const std::uint32_t lengthMasks[] = {0, 127, 63, 31, 15};
  for (int factor = 1; factor <= 4; ++factor) {
    TBitWriter w = ReduceHeader();
    w.Bytes("x");
    w.Bits(144, 8).Bits(lengthMasks[factor], 8).Bits(10, 8).Bits(0, 8);  // DLE, V, E = 10, D = 0
    const std::size_t length = lengthMasks[factor] + 10 + 3;
    EXPECT_EQ(Unreduce(factor, w.Data(), static_cast<std::int64_t>(1 + length)), std::string(1 + length, 'x'))
        << factor;
  }
}

TEST(Unreduce, FarthestDistanceOfFactorFour) {
  std::string text;
  for (int i = 0; i < 4096; ++i) text.push_back(static_cast<char>('a' + i % 23));
  TBitWriter w = ReduceHeader();
  for (char ch : text) {
    w.Bits(static_cast<std::uint8_t>(ch), 8);
    if (static_cast<std::uint8_t>(ch) == 144) w.Bits(0, 8);
  }
  w.Bits(144, 8).Bits(0xF0 | 1, 8).Bits(255, 8);  // length 4, distance 15 * 256 + 255 + 1
  EXPECT_EQ(Unreduce(4, w.Data(), 4100), text + text.substr(0, 4));
}

TEST(Unreduce, CopiesBeforeTheStartGiveZeros) {
  TBitWriter w = ReduceHeader();
  w.Bytes("ab");
  w.Bits(144, 8).Bits(0x03, 8).Bits(9, 8);  // length 6 from distance 10: before the start
  EXPECT_EQ(Unreduce(4, w.Data(), 8), std::string("ab") + std::string(6, '\0'));
}

TEST(Unreduce, FollowerSetsSelectTheNextByte) {
  // The set of 0 (the byte before the first) is "XY", the set of 'Y' is "Q".
  TBitWriter w = ReduceHeader({{0, "XY"}, {'Y', "Q"}});
  w.Bits(0, 1).Bits(1, 1);             // from the set of 0: index 1 of 2 (1 bit) = 'Y'
  w.Bits(0, 1).Bits(0, 1);             // from the set of 'Y': index 0 of 1 (1 bit) = 'Q'
  w.Bits(1, 8);                        // 'Q' has no set: 8 raw bits
  EXPECT_EQ(Unreduce(1, w.Data(), 3), "YQ\x01");
}

TEST(Unreduce, LiteralFlagBypassesTheFollowerSet) {
  TBitWriter w = ReduceHeader({{0, "XY"}});
  w.Bits(1, 1).Bits('z', 8);  // 1: a literal although the set is not empty
  EXPECT_EQ(Unreduce(2, w.Data(), 1), "z");
}

TEST(Unreduce, StopsAtTheUncompressedSize) {
  TBitWriter w = ReduceHeader();
  w.Bytes("a");
  w.Bits(144, 8).Bits(0x0F, 8).Bits(200, 8).Bits(0, 8);  // a long match
  EXPECT_EQ(Unreduce(4, w.Data(), 50), std::string(50, 'a'));
}

TEST(Unreduce, DataRunningDryStopsInsteadOfInventingBytes) {
  TBitWriter w = ReduceHeader();
  w.Bytes("abc");
  const auto r = DecodeBytes(5, 0, w.Data(), 4'000'000'000LL);
  EXPECT_LT(r.bytes.size(), 100u);
  EXPECT_EQ(r.bytes.substr(0, 3), "abc");
}

// ---- Implode --------------------------------------------------------------------------

constexpr std::uint16_t kImploded = 6;
constexpr int kLargeDictionary = 2, kLiteralTree = 4;

// A tree of `symbols` codes, all of length `bits` (a complete code when symbols = 2^bits),
// in the byte form: count - 1, then bytes (repeat - 1) << 4 | (length - 1).
void UniformTree(TBitWriter& w, int symbols, int bits) {
  const int bytes = (symbols + 15) / 16;
  w.Bits(bytes - 1, 8);
  for (int i = 0; i < bytes; ++i) w.Bits(static_cast<std::uint32_t>((std::min(16, symbols - 16 * i) - 1) << 4 | (bits - 1)), 8);
}

// With all lengths equal, symbol s has the canonical code s; the stream inverts it.
void Symbol(TBitWriter& w, std::uint32_t s, int bits) { w.Code(~s & ((1u << bits) - 1), bits); }

struct TImplodeStream {
  explicit TImplodeStream(int flags) : flags(static_cast<std::uint16_t>(flags)) {
    if (flags & kLiteralTree) UniformTree(w, 256, 8);
    UniformTree(w, 64, 6);  // lengths
    UniformTree(w, 64, 6);  // distances
  }
  TImplodeStream& Literal(std::uint8_t b) {
    w.Bits(1, 1);
    if (flags & kLiteralTree) Symbol(w, b, 8);
    else w.Bits(b, 8);
    return *this;
  }
  TImplodeStream& Match(std::uint32_t distance, std::uint32_t length) {
    const int lowBits = (flags & kLargeDictionary) ? 7 : 6;
    const std::uint32_t d = distance - 1;
    const std::uint32_t l = length - ((flags & kLiteralTree) ? 3 : 2);
    w.Bits(0, 1).Bits(d & ((1u << lowBits) - 1), lowBits);
    Symbol(w, d >> lowBits, 6);
    Symbol(w, std::min<std::uint32_t>(l, 63), 6);
    if (l >= 63) w.Bits(l - 63, 8);
    return *this;
  }
  std::string Decode(std::int64_t size) const { return DecodeBytes(kImploded, flags, w.Data(), size).bytes; }
  std::uint16_t flags;
  TBitWriter w;
};

TEST(Explode, LiteralsAndMatchesOfAllFourVariants) {
  for (int flags : {0, kLargeDictionary, kLiteralTree, kLargeDictionary | kLiteralTree}) {
    TImplodeStream s(flags);
    s.Literal('a').Literal('b').Match(2, 5);
    EXPECT_EQ(s.Decode(7), "abababa") << flags;
  }
}

TEST(Explode, MinimumMatchLengthFollowsTheLiteralTree) {
  // The same length code 0 means 2 bytes without a literal tree and 3 with one.
  for (int flags : {0, kLiteralTree}) {
    TImplodeStream s(flags);
    s.Literal('q').Match(1, (flags & kLiteralTree) ? 3 : 2);
    EXPECT_EQ(s.Decode((flags & kLiteralTree) ? 4 : 3), std::string((flags & kLiteralTree) ? 4 : 3, 'q'));
  }
}

TEST(Explode, LongestLengthCodeReadsEightMoreBits) {
  TImplodeStream s(0);
  s.Literal('z').Match(1, 2 + 63 + 200);
  EXPECT_EQ(s.Decode(1 + 265), std::string(266, 'z'));
}

TEST(Explode, DictionaryReachOf4KAnd8K) {
  for (int flags : {0, kLargeDictionary}) {
    const std::uint32_t reach = flags ? 8192 : 4096;
    std::string text;
    for (std::uint32_t i = 0; i < reach; ++i) text.push_back(static_cast<char>('A' + (i * 7 + i / 26) % 26));
    TImplodeStream s(flags);
    for (char ch : text) s.Literal(static_cast<std::uint8_t>(ch));
    s.Match(reach, 10);
    EXPECT_EQ(s.Decode(reach + 10), text + text.substr(0, 10)) << flags;
  }
}

TEST(Explode, CopiesBeforeTheStartGiveZeros) {
  TImplodeStream s(kLargeDictionary);
  s.Literal('x').Match(5000, 4).Literal('y');
  EXPECT_EQ(s.Decode(6), std::string("x") + std::string(4, '\0') + "y");
}

TEST(Explode, OutputLongerThanTheWindowIsWrittenAsItFills) {
  TImplodeStream s(0);
  s.Literal('m');
  for (int i = 0; i < 300; ++i) s.Match(1, 2 + 63 + 255);
  const auto r = DecodeBytes(kImploded, 0, s.w.Data(), 1 + 300 * 320);
  EXPECT_EQ(r.bytes, std::string(1 + 300 * 320, 'm'));
  EXPECT_EQ(r.blocks, 7);  // 96001 bytes: six full blocks and one short one
}

TEST(Explode, TreeCountsThatDoNotCoverTheTreeGiveNoOutput) {
  TBitWriter w;
  w.Bits(3, 8);
  for (int i = 0; i < 3; ++i) w.Bits(0xF5, 8);  // 48 codes of 6 bits
  w.Bits(0x05, 8);                              // one more: 49 of 64
  UniformTree(w, 64, 6);
  w.Bits(1, 1).Bits('a', 8);
  EXPECT_EQ(DecodeBytes(kImploded, 0, w.Data(), 1).bytes, "");

  TBitWriter over;
  over.Bits(4, 8);
  for (int i = 0; i < 5; ++i) over.Bits(0xF5, 8);  // 80 codes for a tree of 64
  EXPECT_EQ(DecodeBytes(kImploded, 0, over.Data(), 1).bytes, "");
}

TEST(Explode, OversubscribedTreeGivesNoOutput) {
  TBitWriter w;
  w.Bits(3, 8);
  for (int i = 0; i < 4; ++i) w.Bits(0xF4, 8);  // 64 codes of 5 bits: twice the code space
  UniformTree(w, 64, 6);
  w.Bits(1, 1).Bits('a', 8);
  EXPECT_EQ(DecodeBytes(kImploded, 0, w.Data(), 1).bytes, "");
}

TEST(Explode, DataRunningDryStopsInsteadOfInventingBytes) {
  TImplodeStream s(0);
  s.Literal('a');
  const auto r = DecodeBytes(kImploded, 0, s.w.Data(), 4'000'000'000LL);
  EXPECT_LT(r.bytes.size(), 100u);
  EXPECT_EQ(r.bytes.substr(0, 1), "a");
}

// ---- Store and CRC-32 -----------------------------------------------------------------

TEST(Unstore, PassesEachRefillOnAsOneBlock) {
  std::string data;
  for (int i = 0; i < 40000; ++i) data.push_back(static_cast<char>(i * 31));
  const auto r = DecodeBytes(0, 0, data, 40000);
  EXPECT_TRUE(r.bytes == data);
  EXPECT_EQ(r.blocks, 3);
  EXPECT_EQ(DecodeBytes(0, 0, "", 0).blocks, 0);
}

TEST(Crc32, KnownValuesAndChaining) {
  const std::string check = "123456789";
  auto bytes = [](const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); };
  EXPECT_EQ(unzip::Crc32(bytes(check), check.size()), 0xCBF43926u);
  EXPECT_EQ(unzip::Crc32(nullptr, 0), 0u);
  std::string text;
  for (int i = 0; i < 1000; ++i) text.push_back(static_cast<char>(i * 7 + i / 13));
  const std::uint32_t whole = unzip::Crc32(bytes(text), text.size());
  for (std::size_t split : {1u, 15u, 16u, 17u, 500u, 999u}) {
    std::uint32_t crc = unzip::kCrc32Initial;
    crc = unzip::Crc32Update(crc, bytes(text), split);
    crc = unzip::Crc32Update(crc, bytes(text) + split, text.size() - split);
    EXPECT_EQ(crc ^ unzip::kCrc32Initial, whole) << split;
  }
  // A bitwise reference over the same bytes.
  std::uint32_t reference = 0xFFFFFFFFu;
  for (unsigned char ch : text) {
    reference ^= ch;
    for (int b = 0; b < 8; ++b) reference = (reference >> 1) ^ (0xEDB88320u & (0u - (reference & 1)));
  }
  EXPECT_EQ(whole, ~reference);
}

}  // namespace
