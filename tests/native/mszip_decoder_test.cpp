#include "platform/core/mszip_decoder.h"

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

// An MSZIP block: the signature, then the stream.
std::vector<uint8_t> Ck(const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> block = {'C', 'K'};
  block.insert(block.end(), stream.begin(), stream.end());
  return block;
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

// Decodes the blocks of one folder in turn; the output of the last, or nullopt where one failed.
std::optional<std::string> DecodeFolder(const std::vector<std::vector<uint8_t>>& blocks,
                                        const std::vector<size_t>& sizes) {
  CMszipDecoder decoder;
  EXPECT_TRUE(decoder.IsReady());
  decoder.StartFolder();
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (!decoder.DecodeBlock(blocks[i].data(), blocks[i].size(), sizes[i])) return std::nullopt;
  }
  const auto* out = reinterpret_cast<const char*>(decoder.Output());
  return std::string(out, out + sizes.back());
}
std::optional<std::string> Decode(const std::vector<uint8_t>& stream, size_t size) {
  return DecodeFolder({Ck(stream)}, {size});
}

TEST(MszipDecoder, DecodesEachBlockTypeToExactlyTheStatedSize) {
  EXPECT_EQ(Decode(Stored("hello"), 5), "hello");
  std::vector<uint8_t> twoBlocks = Stored("xy", false);
  const std::vector<uint8_t> abc = FixedAbc();
  twoBlocks.insert(twoBlocks.end(), abc.begin(), abc.end());
  EXPECT_EQ(Decode(twoBlocks, 14), "xyabcabcabcabc");
  EXPECT_EQ(Decode(FixedAbc(), 12), "abcabcabcabc");
  EXPECT_EQ(Decode(FixedAbc(), 13), std::nullopt);  // less than stated
  EXPECT_EQ(Decode(FixedAbc(), 11), std::nullopt);  // more, in a match
  EXPECT_EQ(Decode(FixedAbc(), 2), std::nullopt);   // or on a literal
  EXPECT_EQ(Decode(Stored("hello"), 4), std::nullopt);
  EXPECT_EQ(Decode(Stored(""), 0), std::nullopt);  // a block holds at least a byte
  const std::string full(32768, 'f');
  EXPECT_EQ(Decode(Stored(full), 32768), full);
  EXPECT_EQ(Decode(Stored(full + "f"), 32769), std::nullopt);  // over a block's most
}

TEST(MszipDecoder, RefusesBlocksWithoutSignatureFinalBlockOrClearEnd) {
  std::vector<uint8_t> lower = Ck(Stored("hello"));
  lower[1] = 'k';
  EXPECT_EQ(DecodeFolder({lower}, {5}), std::nullopt);
  EXPECT_EQ(DecodeFolder({Stored("hello")}, {5}), std::nullopt);  // no signature at all
  EXPECT_EQ(DecodeFolder({{'C'}}, {1}), std::nullopt);
  for (const std::vector<uint8_t>& stream : {Stored("hello"), FixedAbc()}) {
    const size_t size = stream == FixedAbc() ? 12 : 5;
    for (size_t cut = 0; cut < stream.size(); ++cut) {
      EXPECT_EQ(Decode({stream.begin(), stream.begin() + cut}, size), std::nullopt) << cut;
    }
    std::vector<uint8_t> longer = stream;
    longer.push_back(0);  // a byte after the final block
    EXPECT_EQ(Decode(longer, size), std::nullopt);
  }
  EXPECT_EQ(Decode(FixedAbc(false), 12), std::nullopt);  // never reaches a final block
  std::vector<uint8_t> stored = Stored("hello");
  stored[3] ^= 1;  // NLEN no longer the complement of LEN
  EXPECT_EQ(Decode(stored, 5), std::nullopt);
}

TEST(MszipDecoder, MatchesReachBackThroughEarlierBlocksOfTheFolderOnly) {
  const std::string history = "0123456789abcdefghijklmnopqrstuvwxyz";
  struct Case {
    unsigned length, distance, symbol, extra, extraBits;
  };
  // Distances that overlap the copy (1, 3, 5) and that do not (9, 36), lengths short and long.
  for (const Case c :
       {Case{3, 1, 0, 0, 0}, Case{10, 3, 2, 0, 0}, Case{10, 5, 4, 0, 1}, Case{10, 9, 6, 0, 2},
        Case{10, 36, 10, 3, 4}, Case{258, 1, 0, 0, 0}, Case{258, 9, 6, 0, 2}}) {
    SCOPED_TRACE(testing::Message() << c.length << "/" << c.distance);
    const std::vector<uint8_t> match =
        Ck(BitWriter().Put(3, 3).Match(c.length, c.symbol, c.extra, c.extraBits).End().bytes);
    std::string expected = history;
    for (unsigned i = 0; i < c.length; ++i) expected += expected[expected.size() - c.distance];
    expected.erase(0, history.size());
    EXPECT_EQ(DecodeFolder({Ck(Stored(history)), match}, {history.size(), c.length}), expected);
    // One byte less history: the match reaches before the folder's first byte.
    const std::string shorter = history.substr(0, c.distance - 1);
    if (shorter.empty()) {
      EXPECT_EQ(DecodeFolder({match}, {c.length}), std::nullopt);
    } else {
      EXPECT_EQ(DecodeFolder({Ck(Stored(shorter)), match}, {shorter.size(), c.length}),
                std::nullopt);
    }
  }
  // The farthest distance, 32768, through several earlier blocks: "F" lies 32768 bytes back
  // after blocks of 5000 (dropped from the history), 10000 (starting with "F"), 10000, 10000
  // and 2768 bytes.
  const std::vector<uint8_t> farthest =
      Ck(BitWriter().Put(3, 3).Match(3, 29, 8191, 13).End().bytes);
  const std::string x(10000, 'x');
  const std::vector<std::vector<uint8_t>> blocks = {Ck(Stored(std::string(5000, 'y'))),
                                                    Ck(Stored("F" + x.substr(1))),
                                                    Ck(Stored(x)),
                                                    Ck(Stored(x)),
                                                    Ck(Stored(x.substr(0, 2768))),
                                                    farthest};
  EXPECT_EQ(DecodeFolder(blocks, {5000, 10000, 10000, 10000, 2768, 3}), "Fxx");
  EXPECT_EQ(DecodeFolder({Ck(Stored("F" + x.substr(1))), Ck(Stored(x)), Ck(Stored(x)),
                          Ck(Stored(x.substr(0, 2767))), farthest},
                         {10000, 10000, 10000, 2767, 3}),
            std::nullopt);

  // A new folder starts with no history.
  CMszipDecoder decoder;
  const std::vector<uint8_t> first = Ck(Stored(history));
  const std::vector<uint8_t> match = Ck(BitWriter().Put(3, 3).Match(3, 0).End().bytes);
  decoder.StartFolder();
  ASSERT_TRUE(decoder.DecodeBlock(first.data(), first.size(), history.size()));
  ASSERT_TRUE(decoder.DecodeBlock(match.data(), match.size(), 3));
  EXPECT_EQ("zzz", std::string(decoder.Output(), decoder.Output() + 3));
  decoder.StartFolder();
  EXPECT_FALSE(decoder.DecodeBlock(match.data(), match.size(), 3));
}

}  // namespace
