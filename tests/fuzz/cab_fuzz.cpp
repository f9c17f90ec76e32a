// libFuzzer target for the one-pass cabinet unpacker (table checks, block checks, MSZIP on zlib).
// Beyond "no crash, no hang, no read past the input", it aborts when a result breaks what the
// download service relies on when it writes what the unpacker hands over.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/core/cab_unpacker.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Holds the unpacker to its word: files begun folder by folder, in table order within a folder
// (so none twice), each given exactly its size before it ends, nothing outside a file.
class CheckingSink final : public CCabUnpacker::Sink {
 public:
  explicit CheckingSink(const std::vector<CabFile>& files) : files_(files) {}

  bool Begin(size_t file) override {
    Require(!open_ && file < files_.size());
    if (ended_ > 0) {
      const CabFile& before = files_[last_];
      const CabFile& now = files_[file];
      Require(before.folder < now.folder || (before.folder == now.folder && last_ < file &&
                                             uint64_t{before.offset} + before.size <= now.offset));
    }
    open_ = true;
    last_ = file;
    written_ = 0;
    return true;
  }
  bool Write(const uint8_t* data, size_t size) override {
    Require(open_ && size > 0 && written_ + size <= files_[last_].size);
    volatile uint8_t touch = data[0] ^ data[size - 1];  // ASan sees a bad pointer here
    (void)touch;
    written_ += size;
    return true;
  }
  bool End() override {
    Require(open_ && written_ == files_[last_].size);
    open_ = false;
    ++ended_;
    return true;
  }
  bool AllEnded() const { return !open_ && ended_ == files_.size(); }

 private:
  const std::vector<CabFile>& files_;
  size_t last_ = 0;
  size_t ended_ = 0;
  uint64_t written_ = 0;
  bool open_ = false;
};

CabCheckResult Unpack(const uint8_t* data, size_t size, uint64_t fileSize,
                      const CabCheckLimits& limits = {}) {
  Require(fileSize <= size);
  CCabUnpacker unpacker(
      fileSize,
      [data, fileSize](uint64_t offset, void* buffer, size_t count) {
        Require(offset <= fileSize && count <= fileSize - offset);
        std::memcpy(buffer, data + offset, count);
        return true;
      },
      limits);
  const CabCheckResult opened = unpacker.Open();
  if (opened.error != CabCheckError::kNone) return opened;
  uint64_t total = 0;
  for (const CabFile& file : unpacker.Files()) total += file.size;
  Require(total <= limits.maxUncompressed && unpacker.Files().size() <= limits.maxFiles);
  CheckingSink sink(unpacker.Files());
  const CabCheckResult r = unpacker.Unpack(sink);
  if (r.error == CabCheckError::kNone) Require(sink.AllEnded());
  return r;
}

void CheckDetail(const CabCheckResult& r) {
  Require(CabCheckErrorText(r.error) != nullptr);
  Require(r.detail.size() <= 200);
  for (const char c : r.detail) Require(c >= 0x20 && c < 0x7F);
  Require(r.error == CabCheckError::kNone ? r.detail.empty() : !r.detail.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CabCheckResult r = Unpack(data, size, size);
  CheckDetail(r);
  if (r.error != CabCheckError::kNone) return 0;
  Require(size >= 36 && std::memcmp(data, "MSCF", 4) == 0);
  // A cabinet that passes must stop passing once any byte of it is missing.
  const uint32_t stated =
      data[8] | data[9] << 8 | data[10] << 16 | static_cast<uint32_t>(data[11]) << 24;
  Require(stated <= size);
  Require(Unpack(data, size, stated - 1).error == CabCheckError::kTruncated);
  // And a file limit one below its count must refuse it.
  const uint32_t files = data[28] | data[29] << 8;
  Require(Unpack(data, size, size, {512ull << 20, files - 1, 64}).error ==
          CabCheckError::kTooLarge);
  return 0;
}
