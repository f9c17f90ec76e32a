#include "platform/core/cab_check.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/native/cab_test_support.h"

namespace {

std::string Fixture(const std::string& name) {
  std::string bytes = ReadFixture(name);
  EXPECT_GT(bytes.size(), 36u) << name;
  return bytes;
}

// Checks `bytes` as a whole file: its tables, then every block as it is unpacked.
CabCheckError Check(const std::string& bytes, const CabCheckLimits& limits = {}) {
  UnpackRun run;
  Unpack(bytes, run, limits);
  return run.Error();
}

uint32_t Get(const std::string& b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}
std::string Patched(std::string b, size_t at, int width, uint32_t value) {
  for (int i = 0; i < width; ++i) b[at + i] = static_cast<char>(value >> (8 * i));
  return b;
}

// Offsets in a cabinet without reserved areas.
constexpr size_t kFolder = 36;
size_t FileEntry(const std::string& cab, int index) {
  size_t at = Get(cab, 16, 4);
  while (index-- > 0) at = cab.find('\0', at + 16) + 1;
  return at;
}
size_t FirstBlock(const std::string& cab) { return Get(cab, kFolder, 4); }

TEST(CheckCabinet, AcceptsWhatWritersProduce) {
  for (const char* name : {"multi.cab", "stored.cab", "small.cab", "plain.cab", "history.cab",
                           "reserve.cab", "twofolders.cab", "cabarc_reserve.cab"}) {
    const std::string cab = Fixture(name);
    EXPECT_EQ(Check(cab), CabCheckError::kNone) << name;
    // Bytes after the cabinet, such as an appended signature, are not the cabinet's business.
    EXPECT_EQ(Check(cab + std::string(3000, '\x77')), CabCheckError::kNone) << name;
  }
  // gcab and cabarc write block checksums, so passing checks ours against two real writers'.
  const std::string multi = Fixture("multi.cab");
  EXPECT_NE(Get(multi, FirstBlock(multi), 4), 0u);
  EXPECT_GT(Get(multi, kFolder + 4, 2), 2u);
}

TEST(CheckCabinet, RefusesCutCabinets) {
  for (const char* name : {"small.cab", "history.cab", "reserve.cab"}) {
    const std::string cab = Fixture(name);
    const size_t step = cab.size() < 1000 ? 1 : 53;
    for (size_t size = 0; size < cab.size(); size += step) {
      const std::string cut = cab.substr(0, size);
      EXPECT_EQ(Check(cut), size < 4 ? CabCheckError::kNotCabinet : CabCheckError::kTruncated)
          << size;
      // Also when the header is made to agree with the shorter file.
      if (size >= 36) {
        EXPECT_NE(Check(Patched(cut, 8, 4, size)), CabCheckError::kNone) << name << " " << size;
      }
    }
  }
}

TEST(CheckCabinet, RefusesEveryDamagedByteItCanJudge) {
  const std::string cab = Fixture("small.cab");
  // What no check can tell from the real thing: set id, cabinet index and the files' sizes,
  // offsets, dates, attributes and names. Anything else changed must be refused.
  std::set<size_t> free = {32, 33, 34, 35};
  for (int file = 0; file < 2; ++file) {
    const size_t at = FileEntry(cab, file);
    for (size_t i = at; i < cab.find('\0', at + 16); ++i) {
      if (i < at + 8 || i >= at + 10) free.insert(i);
    }
  }
  for (size_t at = 0; at < cab.size(); ++at) {
    for (const uint8_t flip : {0x01, 0x10, 0x80, 0xFF}) {
      std::string damaged = cab;
      damaged[at] = static_cast<char>(damaged[at] ^ flip);
      if (Check(damaged) == CabCheckError::kNone) {
        EXPECT_TRUE(free.count(at)) << at << " ^ " << int{flip};
      }
    }
  }
  // Without a checksum the decoder itself meets every damaged byte of the data.
  const std::string unchecked = Patched(cab, FirstBlock(cab), 4, 0);
  for (size_t at = FirstBlock(cab) + 8; at < cab.size(); ++at) {
    for (int flip = 1; flip < 256; flip += 17) {
      std::string damaged = unchecked;
      damaged[at] = static_cast<char>(damaged[at] ^ flip);
      Check(damaged);
    }
  }
}

TEST(CheckCabinet, JudgesEachField) {
  const std::string cab = Fixture("small.cab");
  const size_t block = FirstBlock(cab);
  const std::string unchecked = Patched(cab, block, 4, 0);
  const size_t file = FileEntry(cab, 1);
  const uint32_t room =
      Get(cab, block + 6, 2) - Get(cab, file + 4, 4);  // from the file to the folder's end
  struct Case {
    const std::string& base;
    size_t at;
    int width;
    uint32_t value;
    CabCheckError expected;
  };
  using E = CabCheckError;
  for (const Case& c : std::initializer_list<Case>{
           {cab, 0, 4, 0x4743534D, E::kNotCabinet},  // "MSCG"
           {cab, 8, 4, static_cast<uint32_t>(cab.size()) + 1, E::kTruncated},
           {cab, 4, 4, 1, E::kBadHeader},        // reserved
           {cab, 24, 2, 0x0102, E::kBadHeader},  // version 1.2
           {cab, 30, 2, 1, E::kMultiVolume},     // previous cabinet
           {cab, 30, 2, 2, E::kMultiVolume},     // next cabinet
           {cab, 30, 2, 8, E::kBadHeader},       // unknown flag
           {cab, 26, 2, 0, E::kBadHeader},       // no folder
           {cab, 28, 2, 0, E::kBadHeader},       // no file
           {cab, 16, 4, 40, E::kBadHeader},      // file table inside the folder table
           {cab, kFolder + 6, 2, 2, E::kUnsupportedCompression},       // Quantum
           {cab, kFolder + 6, 2, 0x1503, E::kUnsupportedCompression},  // LZX, 2 MiB window
           {cab, kFolder + 6, 2, 0x0101, E::kUnsupportedCompression},  // MSZIP with stray bits
           {cab, kFolder, 4, 20, E::kBadFolder},                       // data inside the header
           {cab, kFolder, 4, static_cast<uint32_t>(cab.size()) - 4, E::kBadFolder},
           {cab, file, 4, room, E::kNone},  // up to the folder's last byte
           {cab, file, 4, room + 1, E::kBadFile},
           {cab, file + 4, 4, 0xFFFFFFF0, E::kBadFile},  // the end wraps around 32 bits
           {cab, file + 8, 2, 1, E::kBadFile},           // folder 1 of 1
           {cab, file + 8, 2, 0xFFFD, E::kMultiVolume},
           {cab, file + 8, 2, 0xFFFF, E::kMultiVolume},
           {cab, file + 16, 1, 0, E::kBadFile},  // empty name
           {cab, block, 4, Get(cab, block, 4) + 1, E::kChecksum},
           {cab, block + 6, 2, 0, E::kBadBlock},
           {cab, block + 6, 2, 32769, E::kBadBlock},
           {cab, block + 4, 2, 32768 + 6145, E::kBadBlock},
           {unchecked, block + 8, 1, 'c', E::kBadBlock},  // no "CK"
           {unchecked, block + 6, 2, Get(cab, block + 6, 2) + 1, E::kBadBlock},
           {unchecked, block + 6, 2, Get(cab, block + 6, 2) - 1,
            E::kBadFile},  // the files no longer fit
       }) {
    EXPECT_EQ(Check(Patched(c.base, c.at, c.width, c.value)), c.expected)
        << c.at << " = " << c.value;
  }
  // A checksum of zero means none was written.
  EXPECT_EQ(Check(unchecked), CabCheckError::kNone);
  // Uncompressed blocks must store exactly what they hold.
  const std::string plain = Fixture("plain.cab");
  EXPECT_EQ(Check(Patched(plain, FirstBlock(plain) + 4, 2, 100)), CabCheckError::kBadBlock);
}

TEST(CheckCabinet, FoldersAreSeparate) {
  // A folder starts with no history: the second folder here refers back into the first.
  EXPECT_EQ(Check(Fixture("split.cab")), CabCheckError::kBadBlock);
  // Two folders on the same data would have it decoded and extracted twice.
  std::string two = Fixture("twofolders.cab");
  two.replace(kFolder + 8, 8, two.substr(kFolder, 8));
  EXPECT_EQ(Check(two), CabCheckError::kBadFolder);
}

TEST(CheckCabinet, HonoursLimits) {
  const std::string multi = Fixture("multi.cab");
  const uint64_t total = 160000 + 1500 * 16 + 20;  // its members, as the fixture script writes them
  EXPECT_EQ(Check(multi, {total, 4, 1}), CabCheckError::kNone);
  EXPECT_EQ(Check(multi, {total - 1, 4, 1}), CabCheckError::kTooLarge);
  EXPECT_EQ(Check(multi, {total, 3, 1}), CabCheckError::kTooLarge);
  EXPECT_EQ(Check(Fixture("twofolders.cab"), {total, 4, 1}), CabCheckError::kTooLarge);
}

}  // namespace
