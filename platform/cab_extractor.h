#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/scoped_owner.h"

class CCabUnpacker;

// Unpacks members of an untrusted CAB in one pass (platform/core's CCabUnpacker over zlib), doing
// every file operation itself. The CAB is opened once and read only through that handle, which
// lets others read the file but not write, rename or delete it, so what is extracted is what was
// checked. A member is only ever created as a new file directly inside the given folder, under a
// plain file name, within a size and count budget.
class CCabExtractor {
 public:
  struct Limits {
    uint64_t maxTotalBytes = 512ull << 20;  // uncompressed, all folders (and so all members)
    uint32_t maxMembers = 1024;
  };
  enum class Decision { kSkip, kExtract, kFail };
  // Asked once per member, in the order members are decoded (folder by folder, each folder's
  // in CAB order), with its name (UTF-8) and size. Members extracted before are complete and
  // closed by then, so the chooser may read them (an INF deciding about the members after it).
  using Chooser = std::function<Decision(const std::string& name, uint32_t size)>;

  CCabExtractor();
  explicit CCabExtractor(Limits limits);
  ~CCabExtractor();
  CCabExtractor(const CCabExtractor&) = delete;
  CCabExtractor& operator=(const CCabExtractor&) = delete;

  // Opens the CAB at cabPath (absolute or relative, of any length) and checks its header, folder
  // and file tables and its block headers. Fails with the system's error when the file cannot be
  // opened so (ERROR_SHARING_VIOLATION while someone has it open for writing),
  // kErrorNotCabinet, kErrorDamagedCabinet, kErrorCabinetTooLarge, ERROR_NOT_SUPPORTED for
  // compression other than none or MSZIP, or kErrorDuplicateMember for two members whose names
  // differ only in case. Once per extractor; on failure nothing stays open.
  HRESULT Open(const std::wstring& cabPath);

  // The member names (UTF-8) in CAB order once Open succeeded, empty before.
  const std::vector<std::string>& Members() const { return members_; }

  // Decodes each folder of the open CAB once, writing the members choose picks as new files
  // directly inside folder (which must exist); the others are decoded and dropped. Once per Open
  // (E_UNEXPECTED otherwise). Fails with kErrorDamagedCabinet (a block's checksum, sizes or data),
  // kErrorUnsafeMemberName (a chosen name that is no plain file name, or kFail),
  // kErrorDuplicateMember (the file exists), E_ABORT (cancelled) or the system's error writing; the
  // files it created are then deleted again.
  HRESULT Extract(const std::wstring& folder, const Chooser& choose);

  // Looked at before every data block and every member; set from any thread to stop an
  // extraction early.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

 private:
  Limits limits_;
  const std::atomic<bool>* cancel_ = nullptr;
  ScopedFile cab_;                          // the unpacker reads through it: destroyed after it
  std::unique_ptr<CCabUnpacker> unpacker_;  // set by a successful Open
  bool extracted_ = false;
  std::vector<std::string> members_;
};

// Failure results of code download.
inline constexpr HRESULT kErrorNotCabinet = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
inline constexpr HRESULT kErrorDamagedCabinet = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
inline constexpr HRESULT kErrorUnsafeMemberName = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
inline constexpr HRESULT kErrorCabinetTooLarge = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
inline constexpr HRESULT kErrorDuplicateMember = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
