#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The components the installer knows, in installation order. The table is data of the program,
// written in installer/core/catalog.csv and compiled in: the installer never reads a CAB or INF
// to learn what it holds. Fields that hold names hold plain file names separated by blanks
// (NamesIn splits them); an empty text is no name.
struct CatalogRow {
  const wchar_t* clsid;        // registry form with braces, 38 characters
  const wchar_t* cabName;      // file name in the "cabfiles" folder, ".cab" in any letter case
  const wchar_t* moduleName;   // installed module, ".dll" or ".ocx"
  const wchar_t* infName;      // the component's INF file name
  const wchar_t* displayName;  // name for people

  // What removing the component takes besides its module and INF.
  const wchar_t* alsoListed;     // names added to the deletion list
  const wchar_t* storeFiles;     // deleted from the store folder
  const wchar_t* alsoCounted;    // store files whose shared-file counts go with the module's
  const wchar_t* systemFiles;    // deleted from the system directory
  const wchar_t* systemServers;  // in the system directory: unregistered, then deleted
  const wchar_t* sharedChart;    // the chart file it shares with other components in the store

  // What installing it does besides the download.
  const wchar_t* companions;  // control and its registration program, from "cabfiles"
  unsigned minConnections;    // per-server connection limit raised to at least this; 0: none
};

inline constexpr std::size_t kCatalogSize = 107;

extern const std::array<CatalogRow, kCatalogSize> kCatalogRows;

// Rows other code refers to by position.
inline constexpr std::size_t kVelmarRow = 24;
inline constexpr std::size_t kPelgorRow = 82;
inline constexpr std::size_t kConnectionLimitRow = 97;  // and the row after it

// Every row asks the download service for the code base's version, whatever is installed.
inline constexpr wchar_t kCatalogVersionText[] = L"-1,-1,-1,-1";

// The names of a names field, in order.
std::vector<std::wstring> NamesIn(std::wstring_view names);

// The connection limit installing the class raises, by exact text of its class id; 0 for none.
unsigned MinConnectionsFor(std::wstring_view clsid);

// The row whose companions are the outside chart control and its registration program, and the
// control's file name; kCatalogSize and empty when no row has companions.
std::size_t ChartControlRow();
std::wstring ChartControlName();
