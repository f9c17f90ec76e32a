// Times CheckCabinet on a cabinet held in memory and reports the decoded output rate.
// Not part of any build; optimised natively it shows what the check costs the download service:
//   g++ -std=c++20 -O2 -I platform/core tools/cab_check_bench.cpp platform/core/cab_check.cpp
//   platform/core/inflate.cpp -o /tmp/cab_check_bench && /tmp/cab_check_bench big.cab
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "cab_check.h"

namespace {

uint32_t Le(const std::string& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}

// Output bytes of all blocks, summed from the block headers of a cabinet that passed the check.
uint64_t DecodedSize(const std::string& cab) {
  const bool reserve = Le(cab, 30, 2) & 4;
  const size_t folders = reserve ? 40 + Le(cab, 36, 2) : 36;
  const size_t folderSize = 8 + (reserve ? Le(cab, 38, 1) : 0);
  const size_t dataSize = 8 + (reserve ? Le(cab, 39, 1) : 0);
  uint64_t total = 0;
  for (uint32_t f = 0, count = Le(cab, 26, 2); f < count; ++f) {
    size_t at = Le(cab, folders + folderSize * f, 4);
    for (uint32_t b = 0, blocks = Le(cab, folders + folderSize * f + 4, 2); b < blocks; ++b) {
      total += Le(cab, at + 6, 2);
      at += dataSize + Le(cab, at + 4, 2);
    }
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CABINET\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string cab{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const CabReader read = [&cab](uint64_t offset, void* buffer, size_t size) {
    if (offset > cab.size() || size > cab.size() - offset) return false;
    std::memcpy(buffer, cab.data() + offset, size);
    return true;
  };
  const CabCheckLimits limits{4ull << 30, 65535, 65535};
  double best = 1e30;
  CabCheckResult result;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    result = CheckCabinet(cab.size(), read, limits);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  if (result.error != CabCheckError::kNone) {
    std::printf("%s: %s\n", CabCheckErrorText(result.error), result.detail.c_str());
    return 1;
  }
  const double megabytes = DecodedSize(cab) / 1e6;
  std::printf("%.1f MB compressed, %.1f MB decoded in %.3f s (best of 5): %.0f MB/s\n", cab.size() / 1e6,
              megabytes, best, megabytes / best);
  return 0;
}
