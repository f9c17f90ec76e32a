#include "platform/core/cab_unpacker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kMaxBlockBytes = kCabDataHeaderSize + 255 + 32768 + 6144;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | static_cast<uint32_t>(Le16(p + 2)) << 16; }

}  // namespace

CCabUnpacker::CCabUnpacker(uint64_t fileSize, CabReader read, const CabCheckLimits& limits)
    : fileSize_(fileSize), read_(std::move(read)), limits_(limits) {}

CabCheckResult CCabUnpacker::Open() {
  if (opened_) return CabFailure(CabCheckError::kStopped, "opened twice");
  if (CabCheckResult r = CheckCabTables(fileSize_, read_, limits_, tables_);
      r.error != CabCheckError::kNone) {
    return r;
  }
  folderFiles_.assign(tables_.folders.size(), {});
  for (uint32_t i = 0; i < tables_.files.size(); ++i) {
    folderFiles_[tables_.files[i].folder].push_back(i);
  }
  block_.resize(kMaxBlockBytes);
  opened_ = true;
  return {};
}

CabCheckResult CCabUnpacker::Unpack(Sink& sink, const std::atomic<bool>* cancel) {
  if (!opened_ || unpacked_)
    return CabFailure(CabCheckError::kStopped, "not open, or unpacked already");
  unpacked_ = true;
  if (!mszip_.IsReady()) return CabFailure(CabCheckError::kTooLarge, "no memory for the decoder");
  for (uint32_t i = 0; i < tables_.folders.size(); ++i) {
    if (CabCheckResult r = UnpackFolder(i, sink, cancel); r.error != CabCheckError::kNone) {
      return r;
    }
  }
  return {};
}

CabCheckResult CCabUnpacker::UnpackFolder(uint32_t index, Sink& sink,
                                          const std::atomic<bool>* cancel) {
  const CabFolder& folder = tables_.folders[index];
  const std::vector<uint32_t>& files = folderFiles_[index];
  size_t next = 0;        // the first of the folder's files not yet ended
  bool begun = false;     // whether that one has begun
  uint64_t position = 0;  // in the folder's uncompressed data

  // Hands the folder's next `size` bytes to the files they belong to, bytes between files to
  // no one. A file begins with its first byte (an empty one where it lies) and ends with its last.
  const auto deliver = [&](const uint8_t* data, size_t size) {
    const uint64_t end = position + size;
    for (; next < files.size(); ++next, begun = false) {
      const CabFile& file = tables_.files[files[next]];
      const uint64_t fileEnd = uint64_t{file.offset} + file.size;
      if (!begun) {
        if (file.offset > end || (file.offset == end && file.size > 0)) break;
        if (!sink.Begin(files[next])) return false;
        begun = true;
      }
      const uint64_t from = std::max<uint64_t>(file.offset, position);
      const uint64_t to = std::min(fileEnd, end);
      if (to > from && !sink.Write(data + (from - position), static_cast<size_t>(to - from))) {
        return false;
      }
      if (fileEnd > end) break;
      if (!sink.End()) return false;
    }
    position = end;
    return true;
  };

  if (folder.type == kCabTypeMszip) mszip_.StartFolder();
  const size_t headerSize = kCabDataHeaderSize + tables_.dataReserve;
  uint64_t at = folder.dataStart;
  for (uint32_t b = 0; b < folder.blockCount; ++b) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      return CabFailure(CabCheckError::kCancelled, "cancelled before folder %u block %u", index, b);
    }
    const CabBlock& mapped = tables_.blocks[folder.firstBlock + b];
    const size_t blockSize = headerSize + mapped.stored;
    if (!read_(at, block_.data(), blockSize)) {
      return CabFailure(CabCheckError::kTruncated, "cannot read %zu bytes at offset %llu",
                        blockSize, static_cast<unsigned long long>(at));
    }
    if (Le16(block_.data() + 4) != mapped.stored || Le16(block_.data() + 6) != mapped.produced) {
      return CabFailure(CabCheckError::kBadBlock, "folder %u block %u changed while being read",
                        index, b);
    }
    const uint8_t* data = block_.data() + headerSize;
    const uint32_t stated = Le32(block_.data());
    if (stated != 0) {
      const uint32_t actual =
          CabChecksum(block_.data() + 4, headerSize - 4, CabChecksum(data, mapped.stored, 0));
      if (actual != stated) {
        return CabFailure(CabCheckError::kChecksum,
                          "folder %u block %u: checksum %08x, stated %08x", index, b, actual,
                          stated);
      }
    }
    const uint8_t* output = data;
    if (folder.type == kCabTypeMszip) {
      if (!mszip_.DecodeBlock(data, mapped.stored, mapped.produced)) {
        return CabFailure(CabCheckError::kBadBlock,
                          "folder %u block %u: does not decode to %u bytes", index, b,
                          mapped.produced);
      }
      output = mszip_.Output();
    }
    if (!deliver(output, mapped.produced)) {
      return CabFailure(CabCheckError::kStopped, "stopped in folder %u block %u", index, b);
    }
    at += blockSize;
  }
  // Empty files at the folder's very end.
  if (!deliver(nullptr, 0))
    return CabFailure(CabCheckError::kStopped, "stopped after folder %u", index);
  return {};
}
