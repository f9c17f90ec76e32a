#include "platform/core/cab_check.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

static_assert(std::endian::native == std::endian::little, "words are read as they lie");

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderSize = 8;
constexpr size_t kFileSize = 16;
constexpr size_t kMaxNameSize = 256;  // NUL included
constexpr size_t kMaxHeaderReserve = 60000;
constexpr uint32_t kMaxBlockOutput = 32768;
constexpr uint32_t kMaxBlockInput = 32768 + 6144;

constexpr uint16_t kFlagPrevCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;
constexpr uint16_t kFlagReservePresent = 0x0004;
constexpr uint16_t kFirstContinuedFolder = 0xFFFD;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);  // one load; the words are little-endian, as the machines we build for
  return v;
}

// What the file table says of a folder, checked against the folder's size once its blocks are
// mapped: its files lie in table order, so the last one ends furthest.
struct FolderFiles {
  uint64_t end = 0;
  uint32_t last = 0;
  bool any = false;
};

class Checker {
 public:
  Checker(uint64_t fileSize, const CabReader& read, const CabCheckLimits& limits, CabTables& tables)
      : fileSize_(fileSize), read_(read), limits_(limits), tables_(tables) {}

  CabCheckResult Run() {
    tables_ = CabTables{};
    if (CabCheckResult r = ReadHeader(); r.error != CabCheckError::kNone) return r;
    if (CabCheckResult r = ReadFolders(); r.error != CabCheckError::kNone) return r;
    if (CabCheckResult r = ReadFiles(); r.error != CabCheckError::kNone) return r;
    if (CabCheckResult r = MapBlocks(); r.error != CabCheckError::kNone) return r;
    for (uint32_t i = 0; i < folderCount_; ++i) {
      const FolderFiles& files = folderFiles_[i];
      const uint64_t size = tables_.folders[i].size;
      if (files.end > size) {
        return CabFailure(CabCheckError::kBadFile,
                          "file %u ends at %llu, beyond the %llu bytes of folder %u", files.last,
                          static_cast<unsigned long long>(files.end),
                          static_cast<unsigned long long>(size), i);
      }
    }
    return {};
  }

 private:
  bool Inside(uint64_t offset, uint64_t length) const {
    return offset <= cabinetSize_ && length <= cabinetSize_ - offset;
  }

  // Callers stay inside the cabinet, so a failed read is an I/O error or a file that shrank.
  bool Read(uint64_t offset, void* buffer, size_t size, CabCheckResult& failure) const {
    if (read_(offset, buffer, size)) return true;
    failure = CabFailure(CabCheckError::kTruncated, "cannot read %zu bytes at offset %llu", size,
                         static_cast<unsigned long long>(offset));
    return false;
  }

  CabCheckResult ReadHeader() {
    CabCheckResult failure;
    uint8_t h[kHeaderSize + 4];
    if (fileSize_ < 4 || !Read(0, h, 4, failure)) {
      return CabFailure(CabCheckError::kNotCabinet, "no MSCF signature");
    }
    if (std::memcmp(h, "MSCF", 4) != 0) {
      return CabFailure(CabCheckError::kNotCabinet, "no MSCF signature");
    }
    if (fileSize_ < kHeaderSize) {
      return CabFailure(CabCheckError::kTruncated, "%llu bytes, shorter than a cabinet header",
                        static_cast<unsigned long long>(fileSize_));
    }
    if (!Read(0, h, kHeaderSize, failure)) return failure;
    cabinetSize_ = Le32(h + 8);
    if (cabinetSize_ > fileSize_) {
      return CabFailure(CabCheckError::kTruncated, "cabinet states %llu bytes, the file has %llu",
                        static_cast<unsigned long long>(cabinetSize_),
                        static_cast<unsigned long long>(fileSize_));
    }
    if (Le32(h + 4) != 0 || Le32(h + 12) != 0 || Le32(h + 20) != 0) {
      return CabFailure(CabCheckError::kBadHeader, "reserved header fields are not zero");
    }
    if (h[25] != 1 || h[24] != 3) {
      return CabFailure(CabCheckError::kBadHeader, "version %u.%u, not 1.3", h[25], h[24]);
    }
    const uint16_t flags = Le16(h + 30);
    if (flags & (kFlagPrevCabinet | kFlagNextCabinet)) {
      return CabFailure(CabCheckError::kMultiVolume, "part of a set of cabinets (flags 0x%04x)",
                        flags);
    }
    if (flags & ~(kFlagPrevCabinet | kFlagNextCabinet | kFlagReservePresent)) {
      return CabFailure(CabCheckError::kBadHeader, "unknown header flags 0x%04x", flags);
    }
    folderCount_ = Le16(h + 26);
    fileCount_ = Le16(h + 28);
    filesStart_ = Le32(h + 16);
    if (folderCount_ == 0 || fileCount_ == 0) {
      return CabFailure(CabCheckError::kBadHeader, "%u folders, %u files", folderCount_,
                        fileCount_);
    }
    if (folderCount_ > limits_.maxFolders || fileCount_ > limits_.maxFiles) {
      return CabFailure(CabCheckError::kTooLarge, "%u folders, %u files", folderCount_, fileCount_);
    }
    uint64_t end = kHeaderSize;
    if (flags & kFlagReservePresent) {
      if (!Inside(kHeaderSize, 4)) {
        return CabFailure(CabCheckError::kBadHeader, "reserve sizes beyond the cabinet");
      }
      if (!Read(kHeaderSize, h + kHeaderSize, 4, failure)) return failure;
      const uint16_t headerReserve = Le16(h + kHeaderSize);
      folderReserve_ = h[kHeaderSize + 2];
      tables_.dataReserve = h[kHeaderSize + 3];
      if (headerReserve > kMaxHeaderReserve) {
        return CabFailure(CabCheckError::kBadHeader, "header reserve of %u bytes", headerReserve);
      }
      end += 4 + headerReserve;
    }
    foldersStart_ = end;
    foldersEnd_ = end + static_cast<uint64_t>(folderCount_) * (kFolderSize + folderReserve_);
    if (!Inside(0, foldersEnd_)) {
      return CabFailure(CabCheckError::kBadHeader, "folder table beyond the cabinet");
    }
    if (filesStart_ < foldersEnd_ || !Inside(filesStart_, 0)) {
      return CabFailure(CabCheckError::kBadHeader, "file table at %llu, outside %llu..%llu",
                        static_cast<unsigned long long>(filesStart_),
                        static_cast<unsigned long long>(foldersEnd_),
                        static_cast<unsigned long long>(cabinetSize_));
    }
    return {};
  }

  CabCheckResult ReadFolders() {
    CabCheckResult failure;
    tables_.folders.resize(folderCount_);
    folderFiles_.assign(folderCount_, FolderFiles{});
    for (uint32_t i = 0; i < folderCount_; ++i) {
      uint8_t entry[kFolderSize];
      if (!Read(foldersStart_ + i * (kFolderSize + folderReserve_), entry, kFolderSize, failure)) {
        return failure;
      }
      CabFolder& f = tables_.folders[i];
      f.dataStart = Le32(entry);
      f.blockCount = Le16(entry + 4);
      f.type = Le16(entry + 6);
      // The bits above the type only tune Quantum and LZX; with none or MSZIP they must be clear.
      if (f.type != kCabTypeNone && f.type != kCabTypeMszip) {
        return CabFailure(CabCheckError::kUnsupportedCompression,
                          "folder %u: compression type 0x%04x", i, f.type);
      }
      if (f.dataStart < foldersEnd_ || !Inside(f.dataStart, 0)) {
        return CabFailure(CabCheckError::kBadFolder,
                          "folder %u: data at %llu, outside the cabinet's data area", i,
                          static_cast<unsigned long long>(f.dataStart));
      }
    }
    return {};
  }

  CabCheckResult ReadFiles() {
    CabCheckResult failure;
    tables_.files.resize(fileCount_);
    uint64_t at = filesStart_;
    for (uint32_t i = 0; i < fileCount_; ++i) {
      uint8_t entry[kFileSize + kMaxNameSize];
      const size_t size = static_cast<size_t>(std::min<uint64_t>(sizeof entry, cabinetSize_ - at));
      if (size < kFileSize + 2) {
        return CabFailure(CabCheckError::kBadFile, "file %u: entry runs past the cabinet", i);
      }
      if (!Read(at, entry, size, failure)) return failure;
      CabFile& file = tables_.files[i];
      file.size = Le32(entry);
      file.offset = Le32(entry + 4);
      file.folder = Le16(entry + 8);
      file.attributes = Le16(entry + 14);
      if (file.folder >= kFirstContinuedFolder) {
        return CabFailure(CabCheckError::kMultiVolume,
                          "file %u continues from or into another cabinet", i);
      }
      if (file.folder >= folderCount_) {
        return CabFailure(CabCheckError::kBadFile, "file %u: folder %u of %u", i, file.folder,
                          folderCount_);
      }
      const auto* name =
          static_cast<const uint8_t*>(std::memchr(entry + kFileSize, 0, size - kFileSize));
      if (name == nullptr)
        return CabFailure(CabCheckError::kBadFile, "file %u: name not terminated", i);
      const size_t nameSize = static_cast<size_t>(name - (entry + kFileSize));
      if (nameSize == 0) return CabFailure(CabCheckError::kBadFile, "file %u: empty name", i);
      file.name.assign(reinterpret_cast<const char*>(entry + kFileSize), nameSize);
      // A file starting before the end of the one listed before it in its folder would have the
      // folder decoded again for it: overlapping or reordered files could multiply the work.
      FolderFiles& before = folderFiles_[file.folder];
      if (before.any && file.offset < before.end) {
        return CabFailure(CabCheckError::kBadFile,
                          "file %u starts at %u, before file %u of folder %u ends (%llu)", i,
                          file.offset, before.last, file.folder,
                          static_cast<unsigned long long>(before.end));
      }
      before = {static_cast<uint64_t>(file.offset) + file.size, i, true};
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
      CabFolder& f = tables_.folders[i];
      f.firstBlock = static_cast<uint32_t>(tables_.blocks.size());
      uint64_t at = f.dataStart;
      for (uint32_t b = 0; b < f.blockCount; ++b) {
        if (!Inside(at, kCabDataHeaderSize + tables_.dataReserve)) {
          return CabFailure(CabCheckError::kBadFolder, "folder %u block %u: beyond the cabinet", i,
                            b);
        }
        uint8_t header[kCabDataHeaderSize];
        if (!Read(at, header, kCabDataHeaderSize, failure)) return failure;
        const uint16_t input = Le16(header + 4);
        const uint16_t output = Le16(header + 6);
        const bool sizesFit = f.type == kCabTypeNone ? input == output : input <= kMaxBlockInput;
        if (output == 0 || output > kMaxBlockOutput || !sizesFit) {
          return CabFailure(CabCheckError::kBadBlock, "folder %u block %u: %u bytes stored for %u",
                            i, b, input, output);
        }
        at += kCabDataHeaderSize + tables_.dataReserve;
        if (!Inside(at, input)) {
          return CabFailure(CabCheckError::kBadFolder, "folder %u block %u: beyond the cabinet", i,
                            b);
        }
        at += input;
        f.size += output;
        total += output;
        if (total > limits_.maxUncompressed) {
          return CabFailure(CabCheckError::kTooLarge, "over %llu bytes uncompressed",
                            static_cast<unsigned long long>(limits_.maxUncompressed));
        }
        tables_.blocks.push_back({input, output});
      }
      f.dataEnd = at;
    }
    // Data shared between folders or tables would be decoded, and extracted, more than once.
    std::vector<std::pair<uint64_t, uint64_t>> areas = {{0, foldersEnd_}, {filesStart_, filesEnd_}};
    for (const CabFolder& f : tables_.folders) {
      if (f.dataEnd > f.dataStart) areas.emplace_back(f.dataStart, f.dataEnd);
    }
    std::sort(areas.begin(), areas.end());
    for (size_t i = 1; i < areas.size(); ++i) {
      if (areas[i].first < areas[i - 1].second) {
        return CabFailure(CabCheckError::kBadFolder,
                          "data at %llu overlaps another part of the cabinet",
                          static_cast<unsigned long long>(areas[i].first));
      }
    }
    return {};
  }

  const uint64_t fileSize_;
  const CabReader& read_;
  const CabCheckLimits& limits_;
  CabTables& tables_;
  uint64_t cabinetSize_ = 0;
  uint32_t folderCount_ = 0;
  uint32_t fileCount_ = 0;
  uint8_t folderReserve_ = 0;
  uint64_t foldersStart_ = 0;
  uint64_t foldersEnd_ = 0;
  uint64_t filesStart_ = 0;
  uint64_t filesEnd_ = 0;
  std::vector<FolderFiles> folderFiles_;
};

}  // namespace

CabCheckResult CabFailure(CabCheckError error, const char* format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return {error, text};
}

uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed) {
  uint32_t sum = seed;
  size_t i = 0;
  for (; i + 4 <= size; i += 4) sum ^= Le32(data + i);
  uint32_t tail = 0;
  for (; i < size; ++i) tail = tail << 8 | data[i];
  return sum ^ tail;
}

CabCheckResult CheckCabTables(uint64_t fileSize, const CabReader& read,
                              const CabCheckLimits& limits, CabTables& tables) {
  return Checker(fileSize, read, limits, tables).Run();
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
    case CabCheckError::kCancelled:
      return "cancelled";
    case CabCheckError::kStopped:
      return "stopped by its receiver";
  }
  return "unknown error";
}
