#pragma once

// What the cabinet tests share: the fixtures the build writes, and an unpacking run that records
// every call the unpacker makes to its sink and every read it makes of the cabinet.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/cab_unpacker.h"

inline std::string ReadFixture(const std::string& relative) {
  std::ifstream in(std::string(CAB_FIXTURE_DIR) + "/" + relative, std::ios::binary);
  EXPECT_TRUE(in.good()) << relative;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Records the sink calls as "begin 1", "write 1 3840", "end 1", and each file's bytes. A call is
// refused when answer returns false for it.
class RecordingSink final : public CCabUnpacker::Sink {
 public:
  std::vector<std::string> calls;
  std::map<size_t, std::string> files;
  std::function<bool(const std::string& call)> answer = [](const std::string&) { return true; };

  bool Begin(size_t file) override {
    current_ = file;
    files[file];
    return Note("begin " + std::to_string(file));
  }
  bool Write(const uint8_t* data, size_t size) override {
    files[current_].append(reinterpret_cast<const char*>(data), size);
    return Note("write " + std::to_string(current_) + " " + std::to_string(size));
  }
  bool End() override { return Note("end " + std::to_string(current_)); }

 private:
  bool Note(std::string call) {
    calls.push_back(std::move(call));
    return answer(calls.back());
  }
  size_t current_ = 0;
};

struct UnpackRun {
  CabCheckResult open;
  CabCheckResult unpack;  // kStopped with "not run" when Open failed
  std::vector<std::string> names;
  std::vector<std::pair<uint64_t, size_t>> unpackReads;  // offset and size of each read by Unpack
  RecordingSink sink;

  // The first failure of either step.
  CabCheckError Error() const {
    return open.error != CabCheckError::kNone ? open.error : unpack.error;
  }
};

// Opens and unpacks `bytes` as a whole file into run.sink (set up by the caller). A read past
// its end is a fault of the unpacker.
inline void Unpack(const std::string& bytes, UnpackRun& run, const CabCheckLimits& limits = {},
                   std::atomic<bool>* cancel = nullptr) {
  bool unpacking = false;
  CCabUnpacker unpacker(
      bytes.size(),
      [&](uint64_t offset, void* buffer, size_t size) {
        if (offset > bytes.size() || size > bytes.size() - offset) {
          ADD_FAILURE() << "read of " << size << " bytes at " << offset << " past " << bytes.size();
          return false;
        }
        std::memcpy(buffer, bytes.data() + offset, size);
        if (unpacking) run.unpackReads.emplace_back(offset, size);
        return true;
      },
      limits);
  run.open = unpacker.Open();
  EXPECT_EQ(run.open.error == CabCheckError::kNone, run.open.detail.empty()) << run.open.detail;
  if (run.open.error != CabCheckError::kNone) {
    run.unpack = {CabCheckError::kStopped, "not run"};
    return;
  }
  for (const CabFile& file : unpacker.Files()) run.names.push_back(file.name);
  unpacking = true;
  run.unpack = unpacker.Unpack(run.sink, cancel);
  EXPECT_EQ(run.unpack.error == CabCheckError::kNone, run.unpack.detail.empty())
      << run.unpack.detail;
}
