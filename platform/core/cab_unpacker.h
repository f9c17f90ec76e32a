#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/core/cab_check.h"
#include "platform/core/mszip_decoder.h"

// Unpacks an untrusted cabinet in one pass: Open checks the tables (CheckCabTables), then Unpack
// decodes each folder once, front to back, checking every block's checksum, sizes and stream as
// it goes, and hands each file's bytes to a sink as they come. Work is linear in the cabinet's
// size; memory is fixed apart from the tables (about 150 KiB of buffers and zlib's state).
class CCabUnpacker {
 public:
  // Receives the files in the order they are decoded: folder by folder, each folder's files in
  // the order of the file table. Every Begin is followed by Writes totalling the file's size and
  // by End, unless unpacking stops first. Returning false stops it with kStopped.
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual bool Begin(size_t file) = 0;  // index into Files()
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    virtual bool End() = 0;
  };

  // read and fileSize as for CheckCabTables.
  CCabUnpacker(uint64_t fileSize, CabReader read, const CabCheckLimits& limits = {});
  CCabUnpacker(const CCabUnpacker&) = delete;
  CCabUnpacker& operator=(const CCabUnpacker&) = delete;

  CabCheckResult Open();
  const std::vector<CabFile>& Files() const { return tables_.files; }  // after Open succeeded

  // Once, after Open succeeded. cancel, when given, is looked at before every block. On failure
  // the sink may have been given part of the cabinet: what it made of that is its to undo.
  CabCheckResult Unpack(Sink& sink, const std::atomic<bool>* cancel = nullptr);

 private:
  CabCheckResult UnpackFolder(uint32_t index, Sink& sink, const std::atomic<bool>* cancel);

  const uint64_t fileSize_;
  const CabReader read_;
  const CabCheckLimits limits_;
  CabTables tables_;
  bool opened_ = false;
  bool unpacked_ = false;
  std::vector<std::vector<uint32_t>> folderFiles_;  // each folder's files, in table order
  std::vector<uint8_t> block_;                      // one data block as stored
  CMszipDecoder mszip_;
};
