#include "platform/core/inflate.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little,
              "the bit reader loads words as little-endian");

// Huffman codes are decoded through a primary table indexed by the next few input bits; longer
// codes go through a subtable hanging off their primary slot. An entry packs:
//   bits 0-3   code length to consume
//   bits 4-7   kind
//   bits 8-11  extra bits to read after the code (for a link: the subtable's index width)
//   bits 16-31 literal byte, base length or distance, code-length symbol, or subtable offset
enum Kind : uint32_t { kLiteral = 0, kBase = 1, kEnd = 2, kLink = 3, kInvalid = 4 };

constexpr uint32_t MakeEntry(uint32_t length, uint32_t kind, uint32_t extra, uint32_t value) {
  return length | kind << 4 | extra << 8 | value << 16;
}
constexpr uint32_t CodeLength(uint32_t e) { return e & 15; }
constexpr uint32_t EntryKind(uint32_t e) { return (e >> 4) & 15; }
constexpr uint32_t Extra(uint32_t e) { return (e >> 8) & 15; }
constexpr uint32_t Value(uint32_t e) { return e >> 16; }

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kLitBits = 10;
constexpr unsigned kDistBits = 8;
constexpr unsigned kCodeLengthBits = 7;
// Worst case: every code longer than the primary width gets a slot with a full-depth subtable.
constexpr size_t kLitTableSize = (1u << kLitBits) + 288 * (1u << (kMaxCodeLength - kLitBits));
constexpr size_t kDistTableSize = (1u << kDistBits) + 32 * (1u << (kMaxCodeLength - kDistBits));
constexpr size_t kCodeLengthTableSize = 1u << kCodeLengthBits;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

// What each symbol decodes to, before its code length is filled in. Symbols 286-287 and 30-31
// have codes in the fixed tables but must never appear.
constexpr std::array<uint32_t, 288> kLitSymbols = [] {
  std::array<uint32_t, 288> s{};
  for (uint32_t i = 0; i < 256; ++i) s[i] = MakeEntry(0, kLiteral, 0, i);
  s[256] = MakeEntry(0, kEnd, 0, 0);
  for (uint32_t i = 0; i < 29; ++i) {
    s[257 + i] = MakeEntry(0, kBase, kLengthExtra[i], kLengthBase[i]);
  }
  s[286] = s[287] = MakeEntry(0, kInvalid, 0, 0);
  return s;
}();
constexpr std::array<uint32_t, 32> kDistSymbols = [] {
  std::array<uint32_t, 32> s{};
  for (uint32_t i = 0; i < 30; ++i) s[i] = MakeEntry(0, kBase, kDistExtra[i], kDistBase[i]);
  s[30] = s[31] = MakeEntry(0, kInvalid, 0, 0);
  return s;
}();
constexpr std::array<uint32_t, 19> kCodeLengthSymbols = [] {
  std::array<uint32_t, 19> s{};
  for (uint32_t i = 0; i < 19; ++i) s[i] = MakeEntry(0, kLiteral, 0, i);
  return s;
}();

constexpr uint32_t kInvalidEntry = MakeEntry(0, kInvalid, 0, 0);

// Builds the decoding table of a canonical Huffman code. `lenient` admits the two incomplete
// codes real encoders write: no codes at all (a block without matches) and a single code of
// length one; anything else that is incomplete or oversubscribed is refused.
bool BuildTable(const uint8_t* lengths, unsigned count, const uint32_t* symbols,
                unsigned primaryBits, uint32_t* table, size_t capacity, bool lenient) {
  unsigned perLength[kMaxCodeLength + 1] = {};
  for (unsigned i = 0; i < count; ++i) ++perLength[lengths[i]];
  perLength[0] = 0;
  int left = 1;
  unsigned total = 0;
  unsigned maxLength = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    left = left * 2 - static_cast<int>(perLength[len]);
    if (left < 0) return false;
    if (perLength[len] != 0) maxLength = len;
    total += perLength[len];
  }
  const size_t primarySize = size_t{1} << primaryBits;
  for (size_t i = 0; i < primarySize; ++i) table[i] = kInvalidEntry;
  if (left > 0 && !(lenient && (total == 0 || (total == 1 && maxLength == 1)))) return false;

  unsigned next[kMaxCodeLength + 1] = {};
  unsigned code = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    code = (code + perLength[len - 1]) << 1;
    next[len] = code;
  }
  const unsigned subBits = maxLength > primaryBits ? maxLength - primaryBits : 0;
  size_t used = primarySize;
  for (unsigned symbol = 0; symbol < count; ++symbol) {
    const unsigned len = lengths[symbol];
    if (len == 0) continue;
    // Codes are sent most significant bit first, the stream is read least significant first.
    unsigned reversed = 0;
    for (unsigned c = next[len]++, i = 0; i < len; ++i, c >>= 1) {
      reversed = (reversed << 1) | (c & 1);
    }
    const uint32_t entry = symbols[symbol] | len;
    if (len <= primaryBits) {
      for (size_t i = reversed; i < primarySize; i += size_t{1} << len) table[i] = entry;
      continue;
    }
    uint32_t& slot = table[reversed & (primarySize - 1)];
    if (EntryKind(slot) != kLink) {
      const size_t subSize = size_t{1} << subBits;
      if (used + subSize > capacity) return false;
      for (size_t i = 0; i < subSize; ++i) table[used + i] = kInvalidEntry;
      slot = MakeEntry(0, kLink, subBits, static_cast<uint32_t>(used));
      used += subSize;
    }
    uint32_t* sub = table + Value(slot);
    for (size_t i = reversed >> primaryBits; i < (size_t{1} << subBits);
         i += size_t{1} << (len - primaryBits)) {
      sub[i] = entry;
    }
  }
  return true;
}

inline uint32_t Lookup(const uint32_t* table, unsigned primaryBits, uint64_t bits) {
  uint32_t e = table[bits & ((uint64_t{1} << primaryBits) - 1)];
  if (EntryKind(e) == kLink) {
    e = table[Value(e) + ((bits >> primaryBits) & ((uint64_t{1} << Extra(e)) - 1))];
  }
  return e;
}

// LSB-first bit reader. Past the end of input it feeds zero bytes (so table lookups may peek
// ahead freely) and counts them; consuming any of them means the stream ran out.
struct BitReader {
  const uint8_t* p;
  const uint8_t* end;
  uint64_t buf = 0;
  unsigned count = 0;   // valid bits in buf, padding included
  unsigned padded = 0;  // zero bytes fed after the end

  // Leaves at least 56 bits in buf; false once far more padding was needed than peeking explains.
  bool Refill() {
    if (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      buf |= word << count;
      p += (63 - count) >> 3;
      count |= 56;
      return true;
    }
    while (count <= 56) {
      if (p < end) {
        buf |= uint64_t{*p++} << count;
      } else if (++padded > 8) {
        return false;
      }
      count += 8;
    }
    return true;
  }
  uint32_t Take(unsigned n) {
    const uint32_t v = static_cast<uint32_t>(buf & ((uint64_t{1} << n) - 1));
    buf >>= n;
    count -= n;
    return v;
  }
  void Skip(unsigned n) {
    buf >>= n;
    count -= n;
  }
};

struct Output {
  uint8_t* const window;  // history starts here: distances may reach back to it
  uint8_t* out;
  uint8_t* const end;
};

bool DecodeStored(BitReader& bits, Output& o) {
  bits.Skip(bits.count & 7);
  // The header refill left at least 46 bits, enough for LEN and NLEN.
  const uint32_t length = bits.Take(16);
  const uint32_t complement = bits.Take(16);
  if (length != (~complement & 0xFFFF)) return false;
  // Hand the whole bytes still buffered back to the input and copy straight from it.
  const unsigned buffered = bits.count / 8;
  if (bits.padded > buffered) return false;
  bits.p -= buffered - bits.padded;
  bits.buf = 0;
  bits.count = 0;
  bits.padded = 0;
  if (static_cast<size_t>(bits.end - bits.p) < length ||
      static_cast<size_t>(o.end - o.out) < length) {
    return false;
  }
  if (length == 0) return true;  // pointers may be null when nothing is there to copy
  std::memcpy(o.out, bits.p, length);
  o.out += length;
  bits.p += length;
  return true;
}

bool ReadDynamicTables(BitReader& bits, uint32_t* lit, uint32_t* dist) {
  // The block header's refill left at least 53 bits.
  const unsigned litCount = bits.Take(5) + 257;
  const unsigned distCount = bits.Take(5) + 1;
  const unsigned codeLengthCount = bits.Take(4) + 4;
  if (litCount > 286 || distCount > 30) return false;

  uint8_t codeLengthLengths[19] = {};
  for (unsigned i = 0; i < codeLengthCount; ++i) {
    if (!bits.Refill()) return false;
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits.Take(3));
  }
  uint32_t codeLengthTable[kCodeLengthTableSize];
  if (!BuildTable(codeLengthLengths, 19, kCodeLengthSymbols.data(), kCodeLengthBits,
                  codeLengthTable, kCodeLengthTableSize, false)) {
    return false;
  }

  // Literal/length and distance lengths form one sequence: a repeat may run across the two.
  uint8_t lengths[286 + 30];
  const unsigned total = litCount + distCount;
  unsigned n = 0;
  while (n < total) {
    if (!bits.Refill()) return false;
    const uint32_t e = codeLengthTable[bits.buf & (kCodeLengthTableSize - 1)];
    if (EntryKind(e) == kInvalid) return false;
    bits.Skip(CodeLength(e));
    const unsigned symbol = Value(e);
    if (symbol < 16) {
      lengths[n++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t value = 0;
    unsigned repeat;
    if (symbol == 16) {
      if (n == 0) return false;
      value = lengths[n - 1];
      repeat = 3 + bits.Take(2);
    } else if (symbol == 17) {
      repeat = 3 + bits.Take(3);
    } else {
      repeat = 11 + bits.Take(7);
    }
    if (repeat > total - n) return false;
    std::memset(lengths + n, value, repeat);
    n += repeat;
  }
  if (lengths[256] == 0) return false;  // a block must be able to end
  return BuildTable(lengths, litCount, kLitSymbols.data(), kLitBits, lit, kLitTableSize, true) &&
         BuildTable(lengths + litCount, distCount, kDistSymbols.data(), kDistBits, dist,
                    kDistTableSize, true);
}

void BuildFixedTables(uint32_t* lit, uint32_t* dist) {
  uint8_t lengths[288];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  BuildTable(lengths, 288, kLitSymbols.data(), kLitBits, lit, kLitTableSize, true);
  std::memset(lengths, 5, 32);
  BuildTable(lengths, 32, kDistSymbols.data(), kDistBits, dist, kDistTableSize, true);
}

bool DecodeHuffman(BitReader& bits, Output& o, const uint32_t* lit, const uint32_t* dist) {
  uint8_t* out = o.out;
  uint8_t* const end = o.end;
  for (;;) {
    // One refill covers the longest symbol: 15 + 5 bits of length, 15 + 13 of distance.
    if (!bits.Refill()) return false;
    uint32_t e = Lookup(lit, kLitBits, bits.buf);
    const uint32_t kind = EntryKind(e);
    if (kind == kLiteral) {
      if (out == end) return false;
      *out++ = static_cast<uint8_t>(Value(e));
      bits.Skip(CodeLength(e));
      continue;
    }
    if (kind != kBase) {
      bits.Skip(CodeLength(e));
      o.out = out;
      return kind == kEnd;
    }
    bits.Skip(CodeLength(e));
    const size_t length = Value(e) + bits.Take(Extra(e));
    e = Lookup(dist, kDistBits, bits.buf);
    if (EntryKind(e) != kBase) return false;
    bits.Skip(CodeLength(e));
    const size_t distance = Value(e) + bits.Take(Extra(e));
    if (distance > static_cast<size_t>(out - o.window) || length > static_cast<size_t>(end - out)) {
      return false;
    }
    const uint8_t* from = out - distance;
    uint8_t* const stop = out + length;
    if (distance >= 8 && end - stop >= 8) {
      // Eight bytes at a time may write up to 7 bytes past the match, still inside the room.
      do {
        std::memcpy(out, from, 8);
        out += 8;
        from += 8;
      } while (out < stop);
    } else if (distance == 1) {
      std::memset(out, *from, length);
    } else {
      while (out < stop) *out++ = *from++;
    }
    out = stop;
  }
}

}  // namespace

std::optional<size_t> InflateRaw(const uint8_t* in, size_t inSize, uint8_t* window,
                                 size_t historySize, size_t outCapacity) {
  BitReader bits{in, in + inSize};
  Output o{window, window + historySize, window + historySize + outCapacity};
  uint32_t lit[kLitTableSize];
  uint32_t dist[kDistTableSize];
  bool last = false;
  while (!last) {
    if (!bits.Refill()) return std::nullopt;
    last = bits.Take(1) != 0;
    switch (bits.Take(2)) {
      case 0:
        if (!DecodeStored(bits, o)) return std::nullopt;
        break;
      case 1:
        BuildFixedTables(lit, dist);
        if (!DecodeHuffman(bits, o, lit, dist)) return std::nullopt;
        break;
      case 2:
        if (!ReadDynamicTables(bits, lit, dist) || !DecodeHuffman(bits, o, lit, dist)) {
          return std::nullopt;
        }
        break;
      default:
        return std::nullopt;
    }
  }
  // Only the padding bits of the last byte may remain; below zero, the zeros fed past the end
  // were decoded as if they were input.
  const int64_t leftBits =
      static_cast<int64_t>(bits.end - bits.p) * 8 + bits.count - 8 * int64_t{bits.padded};
  if (leftBits < 0 || leftBits >= 8) return std::nullopt;
  return static_cast<size_t>(o.out - (window + historySize));
}
