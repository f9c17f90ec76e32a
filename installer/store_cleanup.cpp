#include "installer/store_cleanup.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/reg_key.h"
#include "common/system_folders.h"
#include "installer/core/catalog_table.h"
#include "platform/component_store.h"

CStoreCleanup::CStoreCleanup(const CCatalog& catalog, const CDeletionList& deletionList,
                             std::wstring windowsFolder)
    : catalog_(catalog),
      deletionList_(deletionList),
      windowsFolder_(windowsFolder.empty() ? ::WindowsFolder() : std::move(windowsFolder)) {}

template <typename Action>
void CStoreCleanup::ForEachRemoved(Action action) const {
  // Catalog rows sharing a module name are each visited; extra names select nothing by themselves.
  for (size_t i = 0; i < catalog_.Size(); ++i) {
    const CatalogEntry& row = catalog_.Row(i);
    if (deletionList_.IsInDeletionList(row.moduleName)) action(i, row);
  }
}

void CStoreCleanup::CleanSharedDllCounts() const {
  const std::wstring prefix = StoreFolderIn(windowsFolder_) + L"\\";
  RegKey shared;
  if (shared.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, KEY_SET_VALUE) != ERROR_SUCCESS) return;
  ForEachRemoved([&](size_t index, const CatalogEntry& row) {
    // Some components also registered a companion file under their own count.
    for (const std::wstring& name : NamesIn(kCatalogRows[index].alsoCounted))
      (void)shared.DeleteValue(prefix + name);
    (void)shared.DeleteValue(prefix + row.moduleName);
  });
}

void CStoreCleanup::CleanDistributionUnits() const {
  ForEachRemoved([](size_t, const CatalogEntry& row) {
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kDistributionUnitsKey + row.clsid);
  });
}

void CStoreCleanup::CleanModuleUsage() const {
  // The browser names these keys by the file's path written with forward slashes.
  std::wstring prefix = windowsFolder_;
  std::replace(prefix.begin(), prefix.end(), L'\\', L'/');
  prefix += L"/Downloaded Program files/";
  ForEachRemoved([&](size_t, const CatalogEntry& row) {
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kModuleUsageKey + prefix + row.moduleName);
  });
}
