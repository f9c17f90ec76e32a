#include "installer/catalog.h"

#include <windows.h>

#include <algorithm>

#include "common/scoped_owner.h"

namespace {

// The file system's own name lookup: exact name, letter case as the file system treats it.
bool EntryExists(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(path.c_str(), &data));
  return find.IsValid();
}

}  // namespace

std::wstring CCatalog::CabFolderFor(const std::wstring& programPath) {
  const size_t slash = programPath.rfind(L'\\');
  const std::wstring folder =
      slash == std::wstring::npos ? std::wstring() : programPath.substr(0, slash);
  return folder + L"\\cabfiles";
}

bool CCatalog::Scan(const std::wstring& programPath) {
  const std::wstring folder = CabFolderFor(programPath);
  if (!EntryExists(folder)) return false;

  for (size_t i = 0; i < kCatalogSize; ++i) {
    const CatalogRow& source = kCatalogRows[i];
    if (const auto companions = NamesIn(source.companions); companions.size() == 2) {
      companionControlPath_ = folder + L"\\" + companions[0];
      companionProgramPath_ = folder + L"\\" + companions[1];
    }
    CatalogEntry& row = rows_[i];
    row.clsid = source.clsid;
    row.cabPath = folder + L"\\" + source.cabName;
    row.versionText = kCatalogVersionText;
    row.cabName = source.cabName;
    row.moduleName = source.moduleName;
    row.infName = source.infName;
    row.displayName = source.displayName;
    row.cabPresent = EntryExists(row.cabPath);
  }
  return true;
}

size_t CCatalog::FoundCount() const {
  return static_cast<size_t>(std::count_if(rows_.begin(), rows_.end(),
                                           [](const CatalogEntry& row) { return row.cabPresent; }));
}
