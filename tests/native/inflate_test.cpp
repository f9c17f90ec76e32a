#include "platform/core/inflate.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// Writes DEFLATE bits: fields least significant bit first, Huffman codes most significant first.
struct BitWriter {
  std::vector<uint8_t> bytes;
  unsigned used = 8;
  BitWriter& Put(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i, ++used) {
      if (used == 8) bytes.push_back(0), used = 0;
      bytes.back() |= ((value >> i) & 1) << used;
    }
    return *this;
  }
  BitWriter& Code(uint32_t code, unsigned length) {
    while (length-- > 0) Put(code >> length, 1);
    return *this;
  }
  // Fixed-code symbols: a literal below 144, end of block, a length of 3..10 or 258, a distance.
  BitWriter& Literal(char c) { return Code(0x30 + c, 8); }
  BitWriter& End() { return Code(0, 7); }
  BitWriter& Match(unsigned length, unsigned distanceSymbol, uint32_t extra = 0,
                   unsigned extraBits = 0) {
    length == 258 ? Code(0xC5, 8) : Code(length - 2, 7);
    return Code(distanceSymbol, 5).Put(extra, extraBits);
  }
};

// Decodes after `history` into a window whose bytes past the capacity must stay untouched.
std::optional<std::string> Inflate(const std::vector<uint8_t>& in, size_t capacity,
                                   const std::string& history = "") {
  std::vector<uint8_t> window(history.begin(), history.end());
  window.resize(history.size() + capacity + 64, 0xEE);
  const std::optional<size_t> size =
      InflateRaw(in.data(), in.size(), window.data(), history.size(), capacity);
  for (size_t i = history.size() + capacity; i < window.size(); ++i) {
    EXPECT_EQ(window[i], 0xEE) << "wrote at " << i;
  }
  if (!size) return std::nullopt;
  return std::string(window.begin() + history.size(), window.begin() + history.size() + *size);
}

std::vector<uint8_t> Stored(const std::string& text, bool last = true) {
  BitWriter w;
  w.Put(last, 3);
  w.used = 8;  // LEN starts on a byte boundary
  w.Put(text.size(), 16).Put(~text.size(), 16);
  w.bytes.insert(w.bytes.end(), text.begin(), text.end());
  return w.bytes;
}

// "abc" and a 9-byte match one period back, in one fixed-code block.
std::vector<uint8_t> FixedAbc(bool last = true) {
  return BitWriter()
      .Put(last | 2, 3)
      .Literal('a')
      .Literal('b')
      .Literal('c')
      .Match(9, 2)
      .End()
      .bytes;
}

// A dynamic block whose code-length code gives symbols 0-15 four bits each, then `lit` and `dist`.
BitWriter Dynamic(const std::vector<uint8_t>& lit, const std::vector<uint8_t>& dist) {
  BitWriter w;
  w.Put(1 | 2 << 1, 3).Put(lit.size() - 257, 5).Put(dist.size() - 1, 5).Put(19 - 4, 4);
  for (const unsigned symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15}) {
    w.Put(symbol < 16 ? 4 : 0, 3);
  }
  for (const uint8_t n : lit) w.Code(n, 4);
  for (const uint8_t n : dist) w.Code(n, 4);
  return w;
}

TEST(InflateRaw, DecodesEachBlockTypeWithinCapacity) {
  EXPECT_EQ(Inflate(Stored("hello"), 5), "hello");
  EXPECT_EQ(Inflate(Stored(""), 0), "");
  std::vector<uint8_t> twoBlocks = Stored("xy", false);
  const std::vector<uint8_t> abc = FixedAbc();
  twoBlocks.insert(twoBlocks.end(), abc.begin(), abc.end());
  EXPECT_EQ(Inflate(twoBlocks, 100), "xyabcabcabcabc");
  // 'a', 'b', end and length 3 get two-bit codes 00, 01, 10, 11; distance 1 the one-bit code 0.
  std::vector<uint8_t> lit(258, 0);
  lit['a'] = lit['b'] = lit[256] = lit[257] = 2;
  EXPECT_EQ(
      Inflate(Dynamic(lit, {1}).Code(0, 2).Code(1, 2).Code(3, 2).Code(0, 1).Code(2, 2).bytes, 10),
      "abbbb");

  EXPECT_EQ(Inflate(FixedAbc(), 12), "abcabcabcabc");  // exactly the room needed, no more
  EXPECT_EQ(Inflate(FixedAbc(), 11), std::nullopt);    // runs out in a match
  EXPECT_EQ(Inflate(FixedAbc(), 2), std::nullopt);     // or on a literal
  EXPECT_EQ(Inflate(Stored("hello"), 4), std::nullopt);
}

TEST(InflateRaw, RefusesBadCodes) {
  // Each block would decode to "b" were its header accepted: only the check of the code refuses it.
  std::vector<uint8_t> lit(258, 0);
  lit['a'] = lit['b'] = lit['c'] = lit[256] = lit[257] = 2;  // five two-bit codes: oversubscribed
  EXPECT_EQ(Inflate(Dynamic(lit, {1}).Code(1, 2).Code(3, 2).bytes, 10), std::nullopt);
  lit['a'] = lit['c'] = 0;  // three two-bit codes: incomplete
  EXPECT_EQ(Inflate(Dynamic(lit, {1}).Code(0, 2).Code(1, 2).bytes, 10), std::nullopt);
  lit['a'] = 2;
  EXPECT_EQ(Inflate(Dynamic(lit, {1}).Code(1, 2).Code(2, 2).bytes, 10), "b");
  lit.resize(288, 0);  // literal/length codes 286 and 287 are never sent
  EXPECT_EQ(Inflate(Dynamic(lit, {1}).Code(1, 2).Code(2, 2).bytes, 10), std::nullopt);
  lit.resize(258);  // nor distance codes 30 and 31
  EXPECT_EQ(Inflate(Dynamic(lit, std::vector<uint8_t>(32, 5)).Code(1, 2).Code(2, 2).bytes, 10),
            std::nullopt);

  EXPECT_EQ(Inflate(BitWriter().Put(7, 3).bytes, 10), std::nullopt);  // block type 3
  for (const unsigned symbol : {286u, 287u}) {  // fixed codes that stand for nothing
    EXPECT_EQ(Inflate(BitWriter().Put(3, 3).Code(0xC0 + symbol - 280, 8).End().bytes, 10),
              std::nullopt);
  }
  EXPECT_EQ(Inflate(BitWriter().Put(3, 3).Literal('a').Match(3, 30).End().bytes, 10), std::nullopt);
  std::vector<uint8_t> stored = Stored("hello");
  stored[3] ^= 1;  // NLEN no longer the complement of LEN
  EXPECT_EQ(Inflate(stored, 10), std::nullopt);
}

TEST(InflateRaw, RefusesIncompleteOrOverlongStreams) {
  for (const std::vector<uint8_t>& stream : {Stored("hello"), FixedAbc()}) {
    for (size_t cut = 0; cut < stream.size(); ++cut) {
      EXPECT_EQ(Inflate({stream.begin(), stream.begin() + cut}, 100), std::nullopt) << cut;
    }
    std::vector<uint8_t> longer = stream;
    longer.push_back(0);
    EXPECT_EQ(Inflate(longer, 100), std::nullopt);
  }
  EXPECT_EQ(Inflate(FixedAbc(false), 100), std::nullopt);  // never reaches a final block
  // A stored block whose NLEN lacks its last byte, where a zero there would make it match LEN.
  EXPECT_EQ(Inflate({0x01, 0x00, 0xFF, 0xFF}, 0x10000), std::nullopt);
}

TEST(InflateRaw, MatchesReachIntoHistoryButNoFurther) {
  const std::string history = "0123456789abcdefghijklmnopqrstuvwxyz";
  struct Case {
    unsigned length, distance, symbol, extra, extraBits;
  };
  // Distances that overlap the copy (1, 3, 5) and that do not (9, 36), lengths short and long.
  for (const Case c :
       {Case{3, 1, 0, 0, 0}, Case{10, 3, 2, 0, 0}, Case{10, 5, 4, 0, 1}, Case{10, 9, 6, 0, 2},
        Case{10, 36, 10, 3, 4}, Case{258, 1, 0, 0, 0}, Case{258, 9, 6, 0, 2}}) {
    const BitWriter w = BitWriter().Put(3, 3).Match(c.length, c.symbol, c.extra, c.extraBits).End();
    std::string expected = history;
    for (unsigned i = 0; i < c.length; ++i) expected += expected[expected.size() - c.distance];
    expected.erase(0, history.size());
    for (const size_t room : {size_t{c.length}, size_t{c.length} + 9}) {  // the copy must not spill
      EXPECT_EQ(Inflate(w.bytes, room, history), expected) << c.length << "/" << c.distance;
    }
    EXPECT_EQ(Inflate(w.bytes, c.length, history.substr(0, c.distance - 1)), std::nullopt)
        << c.distance;
  }
  // The farthest distance, 32768, needs a full window of history.
  const std::vector<uint8_t> farthest = BitWriter().Put(3, 3).Match(3, 29, 8191, 13).End().bytes;
  std::string window(32768, 'x');
  window[0] = 'F';
  EXPECT_EQ(Inflate(farthest, 3, window), "Fxx");
  EXPECT_EQ(Inflate(farthest, 3, window.substr(1)), std::nullopt);
}

}  // namespace
