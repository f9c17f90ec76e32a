#pragma once

#include <array>
#include <cstddef>

// The components the installer knows, in installation order. The table is data of the program:
// the installer never reads a CAB or INF to learn what it holds.
struct CatalogRow {
  const wchar_t* clsid;        // registry form with braces, 38 characters
  const wchar_t* cabName;      // file name in the "cabfiles" folder, ".cab" in any letter case
  const wchar_t* moduleName;   // installed module, ".dll" or ".ocx"
  const wchar_t* infName;      // the component's INF file name
  const wchar_t* displayName;  // name for people
};

inline constexpr std::size_t kCatalogSize = 107;

extern const std::array<CatalogRow, kCatalogSize> kCatalogRows;

// Rows other code refers to by position.
inline constexpr std::size_t kVelmarRow = 24;
inline constexpr std::size_t kPelgorRow = 82;
inline constexpr std::size_t kConnectionLimitRow = 97;  // and the row after it

// The component whose installation raises the browser's per-server connection limit.
extern const wchar_t kConnectionLimitClsid[];

// Every row asks the download service for the code base's version, whatever is installed.
inline constexpr wchar_t kCatalogVersionText[] = L"-1,-1,-1,-1";
