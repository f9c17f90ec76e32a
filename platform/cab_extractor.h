#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Unpacks members of an untrusted CAB with the platform's cabinet decompressor (FDI), doing every
// file operation itself: a member is only ever created as a new file directly inside the given
// folder, under a plain file name, within a size and count budget.
class CCabExtractor {
 public:
  struct Limits {
    uint64_t maxTotalBytes = 512ull << 20;  // declared sizes of all members together
    uint32_t maxMembers = 1024;
  };
  enum class Decision { kSkip, kExtract, kFail };
  // Asked once per member with its name (UTF-8) and declared size.
  using Chooser = std::function<Decision(const std::string& name, uint32_t size)>;

  CCabExtractor() = default;
  explicit CCabExtractor(Limits limits) : limits_(limits) {}

  // Walks the CAB at cabPath, creating the chosen members in folder (which must exist). On
  // failure some chosen members may already exist in the folder; the caller discards the folder.
  // members receives every member name seen, in CAB order, extracted or not.
  HRESULT Extract(const std::wstring& cabPath, const std::wstring& folder, const Chooser& choose,
                  std::vector<std::string>* members = nullptr);

  // Checked between members and blocks; set from any thread to stop an extraction early.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

 private:
  Limits limits_;
  const std::atomic<bool>* cancel_ = nullptr;
};

// Failure results of code download.
inline constexpr HRESULT kErrorNotCabinet = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
inline constexpr HRESULT kErrorDamagedCabinet = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
inline constexpr HRESULT kErrorUnsafeMemberName = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
inline constexpr HRESULT kErrorCabinetTooLarge = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
inline constexpr HRESULT kErrorDuplicateMember = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
