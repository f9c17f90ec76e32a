#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Checks a whole cabinet before the platform's extractor (FDI) sees it: the header, folder and
// file tables, and every data block, decoded into scratch memory and thrown away. The cabinet is
// untrusted; anything outside the narrow form we hand on is refused, never repaired.
//
// Accepted: one cabinet of a set of one (no previous or next cabinet), format version 1.3,
// folders without compression or with MSZIP, optional reserved areas (signed cabinets carry
// one), bytes after the cabinet's stated size (an appended signature). Memory use is fixed
// (about 100 KiB of buffers and 60 KiB of stack, plus a little per folder), and the work is
// linear in the cabinet's size: no two folders may share data.

enum class CabCheckError {
  kNone,
  kNotCabinet,              // no "MSCF" signature
  kTruncated,               // shorter than its header or its stated size, or a read failed
  kBadHeader,               // version, flags, reserved fields, sizes or table offsets
  kMultiVolume,             // part of a set of cabinets, or a file continued from/to another
  kUnsupportedCompression,  // Quantum, LZX or an unknown type
  kBadFolder,               // data outside the cabinet or overlapping other data or tables
  kBadFile,                 // a CFFILE entry: folder index, name, or range beyond its folder
  kBadBlock,                // a data block of bad sizes, or not decoding to its stated size
  kChecksum,                // a block's nonzero checksum does not match
  kTooLarge,                // over CabCheckLimits
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

// Reads `size` bytes at `offset` into `buffer`; returns false when they cannot all be read.
using CabReader = std::function<bool(uint64_t offset, void* buffer, size_t size)>;

// `fileSize` is the size of what `read` reads from; nothing at or past it is asked for.
CabCheckResult CheckCabinet(uint64_t fileSize, const CabReader& read,
                            const CabCheckLimits& limits = {});

const char* CabCheckErrorText(CabCheckError error);

// The cabinet checksum of `size` bytes: 32-bit little-endian words XORed into `seed`, the last
// 1-3 bytes folded in as one word with the first of them highest. A data block's checksum is
// CabChecksum(its fields from cbData through the reserved area, CabChecksum(data, 0)).
uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed);
