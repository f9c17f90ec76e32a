#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "installer/core/catalog_table.h"

// One row of the catalog as the dialog holds it: table data plus what the scan found.
struct CatalogEntry {
  std::wstring clsid;
  std::wstring cabPath;  // folder + "\" + cabName
  std::wstring versionText;
  std::wstring cabName;
  std::wstring moduleName;
  std::wstring infName;
  std::wstring displayName;
  bool cabPresent = false;
};

// The catalog's rows and the CAB folder scan.
class CCatalog {
 public:
  // Looks for the catalog's CABs in the "cabfiles" folder beside the program. Returns false, and
  // fills nothing, when no entry of that name exists (a file of that name counts as the folder).
  bool Scan(const std::wstring& programPath);

  const CatalogEntry& Row(size_t index) const { return rows_[index]; }
  size_t Size() const { return rows_.size(); }
  size_t FoundCount() const;

  // The outside chart control's two companion files, expected beside the CABs.
  const std::wstring& CompanionControlPath() const { return companionControlPath_; }
  const std::wstring& CompanionProgramPath() const { return companionProgramPath_; }

  // The "cabfiles" folder for a program path: the program's folder (cut at the last backslash)
  // + "\cabfiles".
  static std::wstring CabFolderFor(const std::wstring& programPath);

 private:
  std::array<CatalogEntry, kCatalogSize> rows_;
  std::wstring companionControlPath_;
  std::wstring companionProgramPath_;
};
