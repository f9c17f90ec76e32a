// libFuzzer target for the cabinet check and the DEFLATE decoder under it. Beyond "no crash, no
// hang, no read past the input", it aborts when a result breaks what the download service relies
// on before handing a cabinet to FDI.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/core/cab_check.h"
#include "platform/core/inflate.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

CabCheckResult Check(const uint8_t* data, size_t size, uint64_t fileSize,
                     const CabCheckLimits& limits = {}) {
  const CabReader read = [data, fileSize](uint64_t offset, void* buffer, size_t count) {
    Require(offset <= fileSize && count <= fileSize - offset);
    std::memcpy(buffer, data + offset, count);
    return true;
  };
  Require(fileSize <= size);
  return CheckCabinet(fileSize, read, limits);
}

void CheckCabinetResult(const uint8_t* data, size_t size) {
  const CabCheckResult r = Check(data, size, size);
  Require(CabCheckErrorText(r.error) != nullptr);
  Require(r.detail.size() <= 200);
  for (const char c : r.detail) Require(c >= 0x20 && c < 0x7F);
  if (r.error == CabCheckError::kNone) {
    Require(r.detail.empty() && size >= 36 && std::memcmp(data, "MSCF", 4) == 0);
    // A cabinet that passes must stop passing once any byte of it is missing.
    const uint32_t stated =
        data[8] | data[9] << 8 | data[10] << 16 | static_cast<uint32_t>(data[11]) << 24;
    Require(stated <= size);
    Require(Check(data, size, stated - 1).error == CabCheckError::kTruncated);
    // And a file limit one below its count must refuse it.
    const uint32_t files = data[28] | data[29] << 8;
    Require(Check(data, size, size, {512ull << 20, files - 1, 64}).error ==
            CabCheckError::kTooLarge);
  } else {
    Require(!r.detail.empty());
  }
}

// The same stream decoded with the exact room it needs must give the same bytes, and one byte
// less room must fail.
void CheckInflate(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const size_t history = data[0] * 128u;  // up to 32640 bytes of made-up history
  std::vector<uint8_t> window(history + 65536);
  for (size_t i = 0; i < history; ++i) window[i] = static_cast<uint8_t>(i * 7);
  const std::optional<size_t> first = InflateRaw(data + 1, size - 1, window.data(), history, 65536);
  if (!first) return;
  Require(*first <= 65536);
  std::vector<uint8_t> again(window.begin(), window.begin() + history + *first);
  const std::optional<size_t> second =
      InflateRaw(data + 1, size - 1, again.data(), history, *first);
  Require(second == first);
  Require(std::equal(again.begin(), again.end(), window.begin()));
  if (*first > 0) Require(!InflateRaw(data + 1, size - 1, again.data(), history, *first - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckCabinetResult(data, size);
  CheckInflate(data, size);
  return 0;
}
