#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// A component version as the download service takes it: two 32-bit words holding four 16-bit
// numbers, high half first.
struct VersionPair {
  uint32_t ms = 0;
  uint32_t ls = 0;
  friend bool operator==(const VersionPair&, const VersionPair&) = default;
};

// Reads "a,b,c,d" (decimal, optionally signed). Each number keeps its low 16 bits, so
// "-1,-1,-1,-1" gives 0xFFFFFFFF,0xFFFFFFFF. Reading stops at the first field that is not a
// number; the fields not read count as 0.
VersionPair ParseVersionText(std::wstring_view text);

// "Local Installer V1.0.3.29" and "Local Installer Version 1,0,3,29".
std::wstring FormatWindowTitle(std::wstring_view prefix, const std::array<unsigned, 4>& version);
std::wstring FormatAboutText(std::wstring_view prefix, const std::array<unsigned, 4>& version);
