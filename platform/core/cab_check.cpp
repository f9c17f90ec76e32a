#include "platform/core/cab_check.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/core/inflate.h"

namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderSize = 8;
constexpr size_t kFileSize = 16;
constexpr size_t kDataSize = 8;
constexpr size_t kMaxNameSize = 256;  // NUL included
constexpr size_t kMaxHeaderReserve = 60000;
constexpr size_t kMaxDataReserve = 255;
constexpr uint32_t kMaxBlockOutput = 32768;
constexpr uint32_t kMaxBlockInput = 32768 + 6144;
constexpr size_t kHistory = 32768;

constexpr uint16_t kFlagPrevCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;
constexpr uint16_t kFlagReservePresent = 0x0004;
constexpr uint16_t kTypeNone = 0;
constexpr uint16_t kTypeMszip = 1;
constexpr uint16_t kFirstContinuedFolder = 0xFFFD;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

CabCheckResult Fail(CabCheckError error, const char* format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return {error, text};
}

struct Folder {
  uint64_t dataStart = 0;
  uint64_t dataEnd = 0;
  uint16_t blocks = 0;
  uint16_t type = 0;
  uint64_t size = 0;      // uncompressed, from the blocks' headers
  uint64_t filesEnd = 0;  // the furthest end of any file in it
  uint32_t furthestFile = 0;
};

class Checker {
 public:
  Checker(uint64_t fileSize, const CabReader& read, const CabCheckLimits& limits)
      : fileSize_(fileSize), read_(read), limits_(limits) {}

  CabCheckResult Run() {
    if (CabCheckResult r = ReadHeader(); r.error != CabCheckError::kNone) return r;
    if (CabCheckResult r = ReadFolders(); r.error != CabCheckError::kNone) return r;
    if (CabCheckResult r = ReadFiles(); r.error != CabCheckError::kNone) return r;
    if (CabCheckResult r = MapBlocks(); r.error != CabCheckError::kNone) return r;
    for (uint32_t i = 0; i < folders_.size(); ++i) {
      const Folder& f = folders_[i];
      if (f.filesEnd > f.size) {
        return Fail(CabCheckError::kBadFile,
                    "file %u ends at %llu, beyond the %llu bytes of folder %u", f.furthestFile,
                    static_cast<unsigned long long>(f.filesEnd),
                    static_cast<unsigned long long>(f.size), i);
      }
    }
    return DecodeBlocks();
  }

 private:
  bool Inside(uint64_t offset, uint64_t length) const {
    return offset <= cabinetSize_ && length <= cabinetSize_ - offset;
  }

  // Callers stay inside the cabinet, so a failed read is an I/O error or a file that shrank.
  bool Read(uint64_t offset, void* buffer, size_t size, CabCheckResult& failure) const {
    if (read_(offset, buffer, size)) return true;
    failure = Fail(CabCheckError::kTruncated, "cannot read %zu bytes at offset %llu", size,
                   static_cast<unsigned long long>(offset));
    return false;
  }

  CabCheckResult ReadHeader() {
    CabCheckResult failure;
    uint8_t h[kHeaderSize + 4];
    if (fileSize_ < 4 || !Read(0, h, 4, failure)) {
      return Fail(CabCheckError::kNotCabinet, "no MSCF signature");
    }
    if (std::memcmp(h, "MSCF", 4) != 0) {
      return Fail(CabCheckError::kNotCabinet, "no MSCF signature");
    }
    if (fileSize_ < kHeaderSize) {
      return Fail(CabCheckError::kTruncated, "%llu bytes, shorter than a cabinet header",
                  static_cast<unsigned long long>(fileSize_));
    }
    if (!Read(0, h, kHeaderSize, failure)) return failure;
    cabinetSize_ = Le32(h + 8);
    if (cabinetSize_ > fileSize_) {
      return Fail(CabCheckError::kTruncated, "cabinet states %llu bytes, the file has %llu",
                  static_cast<unsigned long long>(cabinetSize_),
                  static_cast<unsigned long long>(fileSize_));
    }
    if (Le32(h + 4) != 0 || Le32(h + 12) != 0 || Le32(h + 20) != 0) {
      return Fail(CabCheckError::kBadHeader, "reserved header fields are not zero");
    }
    if (h[25] != 1 || h[24] != 3) {
      return Fail(CabCheckError::kBadHeader, "version %u.%u, not 1.3", h[25], h[24]);
    }
    const uint16_t flags = Le16(h + 30);
    if (flags & (kFlagPrevCabinet | kFlagNextCabinet)) {
      return Fail(CabCheckError::kMultiVolume, "part of a set of cabinets (flags 0x%04x)", flags);
    }
    if (flags & ~(kFlagPrevCabinet | kFlagNextCabinet | kFlagReservePresent)) {
      return Fail(CabCheckError::kBadHeader, "unknown header flags 0x%04x", flags);
    }
    folderCount_ = Le16(h + 26);
    fileCount_ = Le16(h + 28);
    filesStart_ = Le32(h + 16);
    if (folderCount_ == 0 || fileCount_ == 0) {
      return Fail(CabCheckError::kBadHeader, "%u folders, %u files", folderCount_, fileCount_);
    }
    if (folderCount_ > limits_.maxFolders || fileCount_ > limits_.maxFiles) {
      return Fail(CabCheckError::kTooLarge, "%u folders, %u files", folderCount_, fileCount_);
    }
    uint64_t end = kHeaderSize;
    if (flags & kFlagReservePresent) {
      if (!Inside(kHeaderSize, 4)) {
        return Fail(CabCheckError::kBadHeader, "reserve sizes beyond the cabinet");
      }
      if (!Read(kHeaderSize, h + kHeaderSize, 4, failure)) return failure;
      const uint16_t headerReserve = Le16(h + kHeaderSize);
      folderReserve_ = h[kHeaderSize + 2];
      dataReserve_ = h[kHeaderSize + 3];
      if (headerReserve > kMaxHeaderReserve) {
        return Fail(CabCheckError::kBadHeader, "header reserve of %u bytes", headerReserve);
      }
      end += 4 + headerReserve;
    }
    foldersStart_ = end;
    foldersEnd_ = end + static_cast<uint64_t>(folderCount_) * (kFolderSize + folderReserve_);
    if (!Inside(0, foldersEnd_)) {
      return Fail(CabCheckError::kBadHeader, "folder table beyond the cabinet");
    }
    if (filesStart_ < foldersEnd_ || !Inside(filesStart_, 0)) {
      return Fail(CabCheckError::kBadHeader, "file table at %llu, outside %llu..%llu",
                  static_cast<unsigned long long>(filesStart_),
                  static_cast<unsigned long long>(foldersEnd_),
                  static_cast<unsigned long long>(cabinetSize_));
    }
    return {};
  }

  CabCheckResult ReadFolders() {
    CabCheckResult failure;
    folders_.resize(folderCount_);
    for (uint32_t i = 0; i < folderCount_; ++i) {
      uint8_t entry[kFolderSize];
      if (!Read(foldersStart_ + i * (kFolderSize + folderReserve_), entry, kFolderSize, failure)) {
        return failure;
      }
      Folder& f = folders_[i];
      f.dataStart = Le32(entry);
      f.blocks = Le16(entry + 4);
      f.type = Le16(entry + 6);
      // The bits above the type only tune Quantum and LZX; with none or MSZIP they must be clear.
      if (f.type != kTypeNone && f.type != kTypeMszip) {
        return Fail(CabCheckError::kUnsupportedCompression, "folder %u: compression type 0x%04x", i,
                    f.type);
      }
      if (f.dataStart < foldersEnd_ || !Inside(f.dataStart, 0)) {
        return Fail(CabCheckError::kBadFolder,
                    "folder %u: data at %llu, outside the cabinet's data area", i,
                    static_cast<unsigned long long>(f.dataStart));
      }
    }
    return {};
  }

  CabCheckResult ReadFiles() {
    CabCheckResult failure;
    uint64_t at = filesStart_;
    for (uint32_t i = 0; i < fileCount_; ++i) {
      uint8_t entry[kFileSize + kMaxNameSize];
      const size_t size = static_cast<size_t>(std::min<uint64_t>(sizeof entry, cabinetSize_ - at));
      if (size < kFileSize + 2) {
        return Fail(CabCheckError::kBadFile, "file %u: entry runs past the cabinet", i);
      }
      if (!Read(at, entry, size, failure)) return failure;
      const uint32_t length = Le32(entry);
      const uint32_t offset = Le32(entry + 4);
      const uint16_t folder = Le16(entry + 8);
      if (folder >= kFirstContinuedFolder) {
        return Fail(CabCheckError::kMultiVolume, "file %u continues from or into another cabinet",
                    i);
      }
      if (folder >= folderCount_) {
        return Fail(CabCheckError::kBadFile, "file %u: folder %u of %u", i, folder, folderCount_);
      }
      const auto* name =
          static_cast<const uint8_t*>(std::memchr(entry + kFileSize, 0, size - kFileSize));
      if (name == nullptr) return Fail(CabCheckError::kBadFile, "file %u: name not terminated", i);
      const size_t nameSize = static_cast<size_t>(name - (entry + kFileSize));
      if (nameSize == 0) return Fail(CabCheckError::kBadFile, "file %u: empty name", i);
      Folder& f = folders_[folder];
      const uint64_t end = static_cast<uint64_t>(offset) + length;
      if (end > f.filesEnd) {
        f.filesEnd = end;
        f.furthestFile = i;
      }
      at += kFileSize + nameSize + 1;
    }
    filesEnd_ = at;
    return {};
  }

  // Walks every folder's block headers: sizes, placement and totals, before anything is decoded.
  CabCheckResult MapBlocks() {
    CabCheckResult failure;
    uint64_t total = 0;
    for (uint32_t i = 0; i < folderCount_; ++i) {
      Folder& f = folders_[i];
      uint64_t at = f.dataStart;
      for (uint32_t b = 0; b < f.blocks; ++b) {
        if (!Inside(at, kDataSize + dataReserve_)) {
          return Fail(CabCheckError::kBadFolder, "folder %u block %u: beyond the cabinet", i, b);
        }
        uint8_t header[kDataSize];
        if (!Read(at, header, kDataSize, failure)) return failure;
        const uint16_t input = Le16(header + 4);
        const uint16_t output = Le16(header + 6);
        const bool sizesFit = f.type == kTypeNone ? input == output : input <= kMaxBlockInput;
        if (output == 0 || output > kMaxBlockOutput || !sizesFit) {
          return Fail(CabCheckError::kBadBlock, "folder %u block %u: %u bytes stored for %u", i, b,
                      input, output);
        }
        at += kDataSize + dataReserve_;
        if (!Inside(at, input)) {
          return Fail(CabCheckError::kBadFolder, "folder %u block %u: beyond the cabinet", i, b);
        }
        at += input;
        f.size += output;
        total += output;
        if (total > limits_.maxUncompressed) {
          return Fail(CabCheckError::kTooLarge, "over %llu bytes uncompressed",
                      static_cast<unsigned long long>(limits_.maxUncompressed));
        }
      }
      f.dataEnd = at;
    }
    // Data shared between folders or tables would be decoded, and extracted, more than once.
    std::vector<std::pair<uint64_t, uint64_t>> areas = {{0, foldersEnd_}, {filesStart_, filesEnd_}};
    for (const Folder& f : folders_) {
      if (f.dataEnd > f.dataStart) areas.emplace_back(f.dataStart, f.dataEnd);
    }
    std::sort(areas.begin(), areas.end());
    for (size_t i = 1; i < areas.size(); ++i) {
      if (areas[i].first < areas[i - 1].second) {
        return Fail(CabCheckError::kBadFolder, "data at %llu overlaps another part of the cabinet",
                    static_cast<unsigned long long>(areas[i].first));
      }
    }
    return {};
  }

  CabCheckResult DecodeBlocks() {
    CabCheckResult failure;
    std::vector<uint8_t> block(kDataSize + kMaxDataReserve + kMaxBlockInput);
    std::vector<uint8_t> window(kHistory + kMaxBlockOutput);
    for (uint32_t i = 0; i < folderCount_; ++i) {
      const Folder& f = folders_[i];
      uint64_t at = f.dataStart;
      size_t history = 0;  // each folder is compressed on its own
      for (uint32_t b = 0; b < f.blocks; ++b) {
        // Sizes were checked by MapBlocks; the reader must hand back the same bytes again.
        uint8_t header[kDataSize];
        if (!Read(at, header, kDataSize, failure)) return failure;
        const uint16_t input = Le16(header + 4);
        const uint16_t output = Le16(header + 6);
        const size_t blockSize = kDataSize + dataReserve_ + input;
        if (!Inside(at, blockSize) || output == 0 || output > kMaxBlockOutput ||
            input > kMaxBlockInput) {
          return Fail(CabCheckError::kBadBlock, "folder %u block %u changed while being read", i,
                      b);
        }
        if (!Read(at, block.data(), blockSize, failure)) return failure;
        const uint8_t* data = block.data() + kDataSize + dataReserve_;
        const uint32_t stated = Le32(block.data());
        if (stated != 0) {
          const uint32_t actual =
              CabChecksum(block.data() + 4, 4 + dataReserve_, CabChecksum(data, input, 0));
          if (actual != stated) {
            return Fail(CabCheckError::kChecksum, "folder %u block %u: checksum %08x, stated %08x",
                        i, b, actual, stated);
          }
        }
        if (f.type == kTypeMszip) {
          if (input < 2 || data[0] != 'C' || data[1] != 'K') {
            return Fail(CabCheckError::kBadBlock, "folder %u block %u: no MSZIP signature", i, b);
          }
          const std::optional<size_t> produced =
              InflateRaw(data + 2, input - 2u, window.data(), history, output);
          if (produced != output) {
            return Fail(CabCheckError::kBadBlock,
                        "folder %u block %u: does not inflate to %u bytes", i, b, output);
          }
          const size_t filled = history + output;
          history = std::min(filled, kHistory);
          std::memmove(window.data(), window.data() + filled - history, history);
        } else if (input != output) {
          return Fail(CabCheckError::kBadBlock, "folder %u block %u changed while being read", i,
                      b);
        }
        at += blockSize;
      }
    }
    return {};
  }

  const uint64_t fileSize_;
  const CabReader& read_;
  const CabCheckLimits& limits_;
  uint64_t cabinetSize_ = 0;
  uint32_t folderCount_ = 0;
  uint32_t fileCount_ = 0;
  uint8_t folderReserve_ = 0;
  uint8_t dataReserve_ = 0;
  uint64_t foldersStart_ = 0;
  uint64_t foldersEnd_ = 0;
  uint64_t filesStart_ = 0;
  uint64_t filesEnd_ = 0;
  std::vector<Folder> folders_;
};

}  // namespace

uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed) {
  uint32_t sum = seed;
  size_t i = 0;
  for (; i + 4 <= size; i += 4) sum ^= Le32(data + i);
  uint32_t tail = 0;
  for (; i < size; ++i) tail = tail << 8 | data[i];
  return sum ^ tail;
}

CabCheckResult CheckCabinet(uint64_t fileSize, const CabReader& read,
                            const CabCheckLimits& limits) {
  return Checker(fileSize, read, limits).Run();
}

const char* CabCheckErrorText(CabCheckError error) {
  switch (error) {
    case CabCheckError::kNone:
      return "no error";
    case CabCheckError::kNotCabinet:
      return "not a cabinet";
    case CabCheckError::kTruncated:
      return "cabinet truncated";
    case CabCheckError::kBadHeader:
      return "bad cabinet header";
    case CabCheckError::kMultiVolume:
      return "cabinet spans several volumes";
    case CabCheckError::kUnsupportedCompression:
      return "unsupported compression";
    case CabCheckError::kBadFolder:
      return "bad folder";
    case CabCheckError::kBadFile:
      return "bad file entry";
    case CabCheckError::kBadBlock:
      return "bad data block";
    case CabCheckError::kChecksum:
      return "data block checksum mismatch";
    case CabCheckError::kTooLarge:
      return "cabinet too large";
  }
  return "unknown error";
}
