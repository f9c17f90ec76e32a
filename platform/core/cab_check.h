#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Checks a cabinet's header, folder and file tables and the headers of its data blocks, before
// anything is decoded (CCabUnpacker then decodes each folder once). The cabinet is untrusted;
// anything outside the narrow form we accept is refused, never repaired.
//
// Accepted: one cabinet of a set of one (no previous or next cabinet), format version 1.3,
// folders without compression or with MSZIP, optional reserved areas (signed cabinets carry
// one), bytes after the cabinet's stated size (an appended signature). The files of a folder lie
// in it in the order of the file table, none overlapping the one before: a folder is decoded
// once, front to back, so the work is linear in the cabinet's size. No two folders share data.

enum class CabCheckError {
  kNone,
  kNotCabinet,              // no "MSCF" signature
  kTruncated,               // shorter than its header or its stated size, or a read failed
  kBadHeader,               // version, flags, reserved fields, sizes or table offsets
  kMultiVolume,             // part of a set of cabinets, or a file continued from/to another
  kUnsupportedCompression,  // Quantum, LZX or an unknown type
  kBadFolder,               // data outside the cabinet or overlapping other data or tables
  kBadFile,                 // a file entry: folder, name, range beyond its folder or out of order
  kBadBlock,                // a data block of bad sizes, or not decoding to its stated size
  kChecksum,                // a block's nonzero checksum does not match
  kTooLarge,                // over CabCheckLimits
  kCancelled,               // the caller's cancel flag was set
  kStopped,                 // the sink refused to go on
};

struct CabCheckLimits {
  uint64_t maxUncompressed = 512ull << 20;  // all folders together
  uint32_t maxFiles = 1024;
  uint32_t maxFolders = 64;
};

struct CabCheckResult {
  CabCheckError error = CabCheckError::kNone;
  std::string detail;  // where and what, for messages: printable ASCII, at most 200 bytes
};

// A failure with its detail formatted as printf does (cut at 200 bytes).
CabCheckResult CabFailure(CabCheckError error, const char* format, ...);

// Reads `size` bytes at `offset` into `buffer`; returns false when they cannot all be read.
using CabReader = std::function<bool(uint64_t offset, void* buffer, size_t size)>;

struct CabFolder {
  uint64_t dataStart = 0;   // first data block
  uint64_t dataEnd = 0;     // past the last one
  uint32_t firstBlock = 0;  // index into CabTables::blocks
  uint16_t blockCount = 0;
  uint16_t type = 0;  // kCabTypeNone or kCabTypeMszip
  uint64_t size = 0;  // uncompressed, from the blocks' headers
};

struct CabFile {
  std::string name;  // as stored, without its NUL: UTF-8 when kCabNameIsUtf8 is set
  uint16_t attributes = 0;
  uint16_t folder = 0;
  uint32_t offset = 0;  // within the folder's uncompressed data
  uint32_t size = 0;
};

struct CabBlock {
  uint16_t stored = 0;    // bytes of data after the header and its reserved area
  uint16_t produced = 0;  // bytes they decode to
};

struct CabTables {
  uint8_t dataReserve = 0;  // reserved bytes in each data block's header
  std::vector<CabFolder> folders;
  std::vector<CabFile> files;    // in the file table's order
  std::vector<CabBlock> blocks;  // of all folders, folder by folder
};

inline constexpr uint16_t kCabTypeNone = 0;
inline constexpr uint16_t kCabTypeMszip = 1;
inline constexpr uint16_t kCabNameIsUtf8 = 0x80;
inline constexpr size_t kCabDataHeaderSize = 8;

// Reads and checks the tables and block headers of the cabinet `read` reads from; `fileSize` is
// the size of that, and nothing at or past it is asked for. On failure `tables` is unspecified.
CabCheckResult CheckCabTables(uint64_t fileSize, const CabReader& read,
                              const CabCheckLimits& limits, CabTables& tables);

const char* CabCheckErrorText(CabCheckError error);

// The cabinet checksum of `size` bytes: 32-bit little-endian words XORed into `seed`, the last
// 1-3 bytes folded in as one word with the first of them highest. A data block's checksum is
// CabChecksum(its fields from cbData through the reserved area, CabChecksum(data, 0)).
uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed);
