// Inflate on hand-built streams: the edge cases of the format and every way a stream is
// refused. A refused stream writes nothing that was still in the window, so the entry
// fails its CRC-32 check.
#include "decode_test_support.h"

namespace {

using namespace decodetest;

constexpr int kFixed = 1, kDynamic = 2;

// Fixed literal/length codes (RFC 1951, 3.2.6).
void FixedLitLen(TBitWriter& w, int symbol) {
  if (symbol < 144) w.Code(0x30 + symbol, 8);
  else if (symbol < 256) w.Code(0x190 + symbol - 144, 9);
  else if (symbol < 280) w.Code(symbol - 256, 7);
  else w.Code(0xC0 + symbol - 280, 8);
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

// A dynamic block header with a complete code-length code: symbols 0-12 get 4 bits,
// 13-18 get 5 bits. `symbols` are code-length symbols with their extra-bit values.
constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
void DynamicHeader(TBitWriter& w, bool final, int hlit, int hdist, const std::vector<std::pair<int, int>>& symbols) {
  std::vector<int> clLengths(19);
  for (int s = 0; s < 19; ++s) clLengths[s] = s <= 12 ? 4 : 5;
  const auto clCodes = CanonicalCodes(clLengths);
  w.Bits(final, 1).Bits(kDynamic, 2);  // BFINAL, BTYPE
  w.Bits(hlit - 257, 5).Bits(hdist - 1, 5).Bits(19 - 4, 4);  // HLIT, HDIST, HCLEN
  for (int i = 0; i < 19; ++i) w.Bits(clLengths[kOrder[i]], 3);  // code-length code lengths
  for (auto [symbol, extra] : symbols) {
    w.Code(clCodes[symbol], clLengths[symbol]);
    if (symbol == 16) w.Bits(extra, 2);
    if (symbol == 17) w.Bits(extra, 3);
    if (symbol == 18) w.Bits(extra, 7);
  }
}

// Code-length symbols that send `lengths` one by one.
std::vector<std::pair<int, int>> Plain(const std::vector<int>& lengths) {
  std::vector<std::pair<int, int>> out;
  for (int l : lengths) out.emplace_back(l, 0);
  return out;
}

// Literal/length lengths of HLIT entries with the given symbols set.
std::vector<int> LitLengths(int hlit, std::initializer_list<std::pair<int, int>> set) {
  std::vector<int> l(hlit, 0);
  for (auto [symbol, length] : set) l[symbol] = length;
  return l;
}

TEST(InflateEdgeCases, EmptyFixedBlockGivesAnEmptyEntryWithCrcZero) {
  const auto r = Inflate(Bytes({0x03, 0x00}));  // BFINAL 1, BTYPE 01, end of block 0000000
  EXPECT_EQ(r.bytes, "");
  EXPECT_EQ(r.crc, 0u);
  EXPECT_EQ(r.blocks, 0);  // no empty block is handed to the sink
}

TEST(InflateEdgeCases, EmptyStoredBlock) {
  // BFINAL 1, BTYPE 00, padding; LEN 0000; NLEN FFFF
  EXPECT_EQ(Inflate(Bytes({0x01, 0x00, 0x00, 0xFF, 0xFF})).bytes, "");
}

TEST(InflateEdgeCases, StoredBlockCopiesItsBytes) {
  EXPECT_EQ(Inflate(Bytes({0x01, 0x05, 0x00, 0xFA, 0xFF}) + "hello").bytes, "hello");
}

TEST(InflateEdgeCases, StoredBlockAfterFixedBlockStartsAtTheNextByte) {
  TBitWriter w;
  w.Bits(0, 1).Bits(kFixed, 2);  // not final, fixed codes
  FixedLitLen(w, 'a');
  FixedLitLen(w, 256);
  w.Bits(1, 1).Bits(0, 2).Align();  // final, stored, then the byte boundary
  w.Bits(2, 16).Bits(0xFFFD, 16).Bytes("bc");
  EXPECT_EQ(Inflate(w.Data()).bytes, "abc");
}

TEST(InflateEdgeCases, MatchesOfLength258AtDistanceOneAcrossManyOutputBlocks) {
  TBitWriter w;
  w.Bits(1, 1).Bits(kFixed, 2);
  FixedLitLen(w, 'a');
  for (int i = 0; i < 1000; ++i) {
    FixedLitLen(w, 285);  // length 258, no extra bits
    w.Code(0, 5);         // distance code 0: distance 1
  }
  FixedLitLen(w, 256);
  const auto r = Inflate(w.Data());
  EXPECT_EQ(r.bytes, std::string(1 + 258 * 1000, 'a'));
  EXPECT_EQ(r.blocks, static_cast<int>((r.bytes.size() + unzip::kIoBufferSize - 1) / unzip::kIoBufferSize));
}

TEST(InflateEdgeCases, DistanceOf32768ReachesTheFirstByte) {
  std::string data;
  for (int i = 0; i < 32768; ++i) data.push_back(static_cast<char>('a' + i % 26 + (i / 26) % 3));
  TBitWriter w;
  w.Bits(0, 1).Bits(0, 2).Align().Bits(32768, 16).Bits(32767, 16).Bytes(data);  // stored, 32768 bytes
  w.Bits(1, 1).Bits(kFixed, 2);
  FixedLitLen(w, 285);        // length 258
  w.Code(29, 5);              // distance code 29: 24577 + 13 extra bits
  w.Bits(32768 - 24577, 13);  // distance 32768
  FixedLitLen(w, 256);
  const auto r = Inflate(w.Data());
  ASSERT_EQ(r.bytes.size(), 32768u + 258u);
  EXPECT_EQ(r.bytes.substr(32768), data.substr(0, 258));
}

TEST(InflateEdgeCases, SingleOneBitDistanceCodeIsAccepted) {
  // Literal/length code: 'a' 1 bit, end of block 2 bits, length 3 (257) 2 bits; one
  // distance code of one bit, the case RFC 1951 allows for an incomplete code.
  const auto lit = LitLengths(258, {{'a', 1}, {256, 2}, {257, 2}});
  auto lengths = lit;
  lengths.push_back(1);
  TBitWriter w;
  DynamicHeader(w, true, 258, 1, Plain(lengths));
  const auto codes = CanonicalCodes(lit);
  w.Code(codes['a'], 1);
  w.Code(codes[257], 2).Code(0, 1);  // length 3, distance 1
  w.Code(codes[256], 2);
  EXPECT_EQ(Inflate(w.Data()).bytes, "aaaa");
}

TEST(InflateEdgeCases, FixedCodesComeBackAfterADynamicBlock) {
  TBitWriter w;
  w.Bits(0, 1).Bits(kFixed, 2);  // fixed block: "x"
  FixedLitLen(w, 'x');
  FixedLitLen(w, 256);
  auto lengths = LitLengths(258, {{'a', 1}, {256, 2}, {257, 2}});
  lengths.push_back(1);
  DynamicHeader(w, false, 258, 1, Plain(lengths));  // dynamic block: "a" and a copy of 3
  w.Code(0, 1).Code(3, 2).Code(0, 1).Code(2, 2);
  w.Bits(1, 1).Bits(kFixed, 2);  // fixed again: "y"
  FixedLitLen(w, 'y');
  FixedLitLen(w, 256);
  EXPECT_EQ(Inflate(w.Data()).bytes, "xaaaay");
}

TEST(InflateEdgeCases, RepeatCodesMayRunFromLiteralIntoDistanceLengths) {
  // Literal/length code: 'a' 00, 'b' 01, end of block 10, length 3 (257) 11; distance
  // code: four 2-bit codes. One "repeat previous" code sends the lengths of 257 and of
  // distances 0 and 1 together.
  TBitWriter w;
  DynamicHeader(w, true, 258, 4,
                {{18, 'a' - 11},  // 97 zeros
                 {2, 0},          // 'a'
                 {2, 0},          // 'b'
                 {18, 127},       // 138 zeros
                 {18, 8},         // 19 zeros: up to 255
                 {2, 0},          // 256
                 {16, 0},         // three more 2s: 257, distance 0, distance 1
                 {2, 0},          // distance 2
                 {2, 0}});        // distance 3
  w.Code(0, 2).Code(1, 2);  // "ab"
  w.Code(3, 2).Code(1, 2);  // length 3, distance 2
  w.Code(2, 2);             // end of block
  EXPECT_EQ(Inflate(w.Data()).bytes, "ababa");
}

TEST(InflateRefusals, LenNlenMismatchWritesNothing) {
  EXPECT_EQ(Inflate(Bytes({0x01, 0x05, 0x00, 0xFB, 0xFF}) + "hello").bytes, "");
}

TEST(InflateRefusals, BlockTypeThreeDiscardsTheWindow) {
  // A stored block "abc" that is not final, then a block of the reserved type 3.
  TBitWriter w;
  w.Bits(0, 1).Bits(0, 2).Align().Bits(3, 16).Bits(0xFFFC, 16).Bytes("abc");
  w.Bits(1, 1).Bits(3, 2);
  const auto r = Inflate(w.Data());
  EXPECT_EQ(r.bytes, "");
  EXPECT_EQ(r.blocks, 0);
}

TEST(InflateRefusals, DistanceBeforeTheStartOfTheData) {
  TBitWriter w;
  w.Bits(1, 1).Bits(kFixed, 2);
  FixedLitLen(w, 'a');
  FixedLitLen(w, 257);  // length 3
  w.Code(1, 5);         // distance 2, but only one byte exists
  FixedLitLen(w, 256);
  EXPECT_EQ(Inflate(w.Data()).bytes, "");
}

TEST(InflateRefusals, LiteralLengthCodes286And287) {
  for (int symbol : {286, 287}) {
    TBitWriter w;
    w.Bits(1, 1).Bits(kFixed, 2);
    FixedLitLen(w, 'a');
    FixedLitLen(w, symbol);
    w.Code(0, 5);
    FixedLitLen(w, 256);
    EXPECT_EQ(Inflate(w.Data()).bytes, "") << symbol;
  }
}

TEST(InflateRefusals, DistanceCodes30And31) {
  for (int code : {30, 31}) {
    TBitWriter w;
    w.Bits(1, 1).Bits(kFixed, 2);
    FixedLitLen(w, 'a');
    FixedLitLen(w, 257);
    w.Code(code, 5);
    FixedLitLen(w, 256);
    EXPECT_EQ(Inflate(w.Data()).bytes, "") << code;
  }
}

TEST(InflateRefusals, TooManyLiteralLengthOrDistanceCodes) {
  for (auto [hlit, hdist] : {std::pair{287, 1}, std::pair{288, 1}, std::pair{258, 31}, std::pair{258, 32}}) {
    TBitWriter w;
    auto lengths = LitLengths(hlit, {{'a', 1}, {256, 2}, {257, 2}});
    lengths.resize(hlit + hdist, 0);
    lengths[hlit] = 1;
    DynamicHeader(w, true, hlit, hdist, Plain(lengths));
    w.Code(0, 1);  // 'a'
    EXPECT_EQ(Inflate(w.Data()).bytes, "") << hlit << " " << hdist;
  }
}

TEST(InflateRefusals, RepeatWithoutPreviousLength) {
  TBitWriter w;
  DynamicHeader(w, true, 257, 1, {{16, 0}});
  EXPECT_EQ(Inflate(w.Data()).bytes, "");
}

TEST(InflateRefusals, RepeatRunningPastTheDeclaredLengths) {
  TBitWriter w;
  DynamicHeader(w, true, 257, 1, {{18, 127}, {18, 127}});  // 276 zeros for 258 lengths
  EXPECT_EQ(Inflate(w.Data()).bytes, "");
}

TEST(InflateRefusals, CodeWithoutEndOfBlock) {
  auto lengths = LitLengths(257, {{'a', 1}, {'b', 1}});
  lengths.push_back(1);
  TBitWriter w;
  DynamicHeader(w, true, 257, 1, Plain(lengths));
  w.Code(0, 1).Code(1, 1);
  EXPECT_EQ(Inflate(w.Data()).bytes, "");
}

TEST(InflateRefusals, OversubscribedAndIncompleteLiteralCodes) {
  for (auto set : {std::vector<std::pair<int, int>>{{'a', 1}, {'b', 1}, {256, 1}},  // three 1-bit codes
                   std::vector<std::pair<int, int>>{{'a', 2}, {256, 2}}}) {       // half the code space
    std::vector<int> lengths(257, 0);
    for (auto [s, l] : set) lengths[s] = l;
    lengths.push_back(1);
    TBitWriter w;
    DynamicHeader(w, true, 257, 1, Plain(lengths));
    w.Bits(0, 16);
    EXPECT_EQ(Inflate(w.Data()).bytes, "");
  }
}

TEST(InflateRefusals, StreamEndingBeforeTheFinalBlock) {
  TBitWriter w;
  w.Bits(0, 1).Bits(kFixed, 2);  // a block that is not the last one
  FixedLitLen(w, 'a');
  FixedLitLen(w, 256);
  const auto r = Inflate(w.Data());
  EXPECT_EQ(r.bytes, "");
}

TEST(InflateRefusals, EmptyInput) {
  EXPECT_EQ(Inflate("").bytes, "");
}

// The extraction's exceptions (a cancel at a refill, an entry larger than declared) must
// pass through the decoder unchanged.
struct TCancel {};

class TThrowingInput : public unzip::TDecodeInput {
 public:
  std::size_t Refill(std::uint8_t*, std::size_t) override { throw TCancel{}; }
};

class TThrowingOutput : public unzip::TDecodeOutput {
 public:
  void Write(const std::uint8_t*, std::size_t) override { throw TCancel{}; }
};

TEST(DecoderExceptions, PassThroughEveryDecoder) {
  auto ws = std::make_unique<unzip::TDecodeWorkspace>();
  const std::string stored = Bytes({0x01, 0x05, 0x00, 0xFA, 0xFF}) + "hello";
  for (std::uint16_t method : {0, 1, 2, 3, 4, 5, 6, 8}) {
    TThrowingInput in;
    TCollectingOutput out;
    unzip::TDecodeContext ctx{in, out, *ws, 100, 100};
    EXPECT_THROW(unzip::Decode(ctx, method, 0), TCancel) << method;
  }
  TMemoryInput in(stored);
  TThrowingOutput out;
  unzip::TDecodeContext ctx{in, out, *ws, 5, static_cast<std::int64_t>(stored.size())};
  EXPECT_THROW(unzip::Inflate(ctx), TCancel);
}

TEST(DecoderDispatch, UnknownMethodsTouchNothing) {
  for (std::uint16_t method : {7, 9, 12, 14, 98, 99}) {
    const auto r = DecodeBytes(method, 0, "abc", 3);
    EXPECT_FALSE(r.known);
    EXPECT_EQ(r.consumed, 0u);
    EXPECT_EQ(r.blocks, 0);
  }
}

}  // namespace
