#include "platform/core/cab_unpacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "tests/native/cab_test_support.h"

namespace {

std::string Input(const std::string& name) { return ReadFixture("inputs/" + name); }

void Put(std::string& b, size_t at, int width, uint32_t value) {
  for (int i = 0; i < width; ++i) b[at + i] = static_cast<char>(value >> (8 * i));
}
// The CFFILE entry of file `index` in a cabinet without reserved areas.
size_t FileEntry(const std::string& cab, int index) {
  size_t at = static_cast<uint8_t>(cab[16]) | static_cast<uint8_t>(cab[17]) << 8;
  while (index-- > 0) at = cab.find('\0', at + 16) + 1;
  return at;
}

TEST(CabUnpacker, GivesEveryFileItsBytesReadingEachBlockOnce) {
  struct Case {
    const char* cab;
    std::vector<std::pair<std::string, std::string>> files;
  };
  const std::string big = Input("big.txt");
  const std::string table = Input("table.bin");
  const std::string note = Input("note.txt");
  const std::string empty;
  const std::vector<Case> cases = {
      {"multi.cab",
       {{"big.txt", big}, {"table.bin", table}, {"note.txt", note}, {"empty.dat", empty}}},
      {"stored.cab",
       {{"big.txt", big}, {"table.bin", table}, {"note.txt", note}, {"empty.dat", empty}}},
      {"plain.cab", {{"first.txt", Input("first.txt")}, {"table.bin", table}}},
      // Blocks that refer back into the ones before them.
      {"history.cab", {{"big.txt", big.substr(0, 80000)}, {"note.txt", note}}},
      {"reserve.cab", {{"big.txt", big.substr(0, 80000)}, {"note.txt", note}}},
      {"twofolders.cab", {{"big.txt", big.substr(0, 40000)}, {"table.bin", table}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cab);
    UnpackRun run;
    Unpack(ReadFixture(c.cab), run);
    ASSERT_EQ(CabCheckError::kNone, run.Error());
    ASSERT_EQ(c.files.size(), run.names.size());
    for (size_t i = 0; i < c.files.size(); ++i) {
      EXPECT_EQ(c.files[i].first, run.names[i]);
      EXPECT_TRUE(run.sink.files[i] == c.files[i].second) << c.files[i].first;
    }
    // One pass: the blocks are read front to back, no byte twice.
    for (size_t i = 1; i < run.unpackReads.size(); ++i) {
      const auto& [before, size] = run.unpackReads[i - 1];
      EXPECT_GE(run.unpackReads[i].first, before + size) << i;
    }
  }
}

TEST(CabUnpacker, HandsFilesOverInFolderOrderAsTheBlocksDecode) {
  // big.txt (160000 bytes), table.bin (24000), note.txt (20), empty.dat (0) in 32768-byte blocks.
  UnpackRun run;
  Unpack(ReadFixture("multi.cab"), run);
  ASSERT_EQ(CabCheckError::kNone, run.Error());
  EXPECT_EQ((std::vector<std::string>{"begin 0", "write 0 32768", "write 0 32768", "write 0 32768",
                                      "write 0 32768", "write 0 28928", "end 0", "begin 1",
                                      "write 1 3840", "write 1 20160", "end 1", "begin 2",
                                      "write 2 20", "end 2", "begin 3", "end 3"}),
            run.sink.calls);
  EXPECT_EQ(6u, run.unpackReads.size());  // one read per block
}

TEST(CabUnpacker, TakesFilesOnlyInOrderWithinTheirFolder) {
  // plain.cab: first.txt, bytes 0-299, then table.bin, bytes 300-24299, of one folder.
  struct Case {
    const char* what;
    uint32_t offset0, size0, offset1, size1;
    CabCheckError expected;
  };
  using E = CabCheckError;
  const Case cases[] = {
      {"as written", 0, 300, 300, 24000, E::kNone},
      {"a gap between them", 0, 299, 301, 23999, E::kNone},
      {"an empty file first", 0, 0, 300, 24000, E::kNone},
      {"overlapping by a byte", 0, 300, 299, 24000, E::kBadFile},
      {"both from the start", 0, 300, 0, 300, E::kBadFile},
      {"listed in reverse order", 24000, 300, 0, 24000, E::kBadFile},
      {"the second inside the first", 0, 24300, 100, 50, E::kBadFile},
  };
  const std::string plain = ReadFixture("plain.cab");
  const std::string data = Input("first.txt") + Input("table.bin");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string cab = plain;
    Put(cab, FileEntry(cab, 0), 4, c.size0);
    Put(cab, FileEntry(cab, 0) + 4, 4, c.offset0);
    Put(cab, FileEntry(cab, 1), 4, c.size1);
    Put(cab, FileEntry(cab, 1) + 4, 4, c.offset1);
    UnpackRun run;
    Unpack(cab, run);
    // Refused from the tables alone, before any block is decoded.
    EXPECT_EQ(c.expected, run.open.error);
    if (c.expected != CabCheckError::kNone) continue;
    ASSERT_EQ(CabCheckError::kNone, run.unpack.error);
    EXPECT_TRUE(run.sink.files[0] == data.substr(c.offset0, c.size0));
    EXPECT_TRUE(run.sink.files[1] == data.substr(c.offset1, c.size1));
  }
}

TEST(CabUnpacker, LooksAtCancelBeforeEveryBlock) {
  struct Case {
    const char* cancelAt;  // the sink call during which cancel is set; "" before unpacking
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"", {}},
      {"begin 0", {"begin 0", "write 0 32768"}},
      {"write 0 28928",
       {"begin 0", "write 0 32768", "write 0 32768", "write 0 32768", "write 0 32768",
        "write 0 28928", "end 0", "begin 1", "write 1 3840"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cancelAt);
    std::atomic<bool> cancel{*c.cancelAt == '\0'};
    UnpackRun run;
    run.sink.answer = [&](const std::string& call) {
      if (call == c.cancelAt) cancel = true;
      return true;
    };
    Unpack(ReadFixture("multi.cab"), run, {}, &cancel);
    EXPECT_EQ(CabCheckError::kCancelled, run.unpack.error);
    EXPECT_EQ(c.calls, run.sink.calls);
  }
}

TEST(CabUnpacker, StopsAtOnceWhenTheSinkRefuses) {
  for (const std::string stop : {"begin 0", "write 0 32768", "end 0", "end 3"}) {
    SCOPED_TRACE(stop);
    UnpackRun run;
    run.sink.answer = [&](const std::string& call) { return call != stop; };
    Unpack(ReadFixture("multi.cab"), run);
    EXPECT_EQ(CabCheckError::kStopped, run.unpack.error);
    ASSERT_FALSE(run.sink.calls.empty());
    EXPECT_EQ(stop, run.sink.calls.back());
    EXPECT_EQ(1, std::count(run.sink.calls.begin(), run.sink.calls.end(), stop));
  }
}

}  // namespace
