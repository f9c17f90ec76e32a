#include "installer/store_cleanup.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/reg_key.h"
#include "common/system_folders.h"
#include "common/text_compare.h"
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
    if (deletionList_.IsInDeletionList(row.moduleName)) action(row);
  }
}

void CStoreCleanup::CleanSharedDllCounts() const {
  const std::wstring prefix = StoreFolderIn(windowsFolder_) + L"\\";
  RegKey shared;
  if (shared.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, KEY_SET_VALUE) != ERROR_SUCCESS) return;
  ForEachRemoved([&](const CatalogEntry& row) {
    // These two components also registered a companion control under their own count.
    if (EqualsNoCase(row.moduleName, L"lurrin.dll"))
      ::RegDeleteValueW(shared.Get(), (prefix + L"Lurrinx.ocx").c_str());
    if (EqualsNoCase(row.moduleName, L"vormik.dll"))
      ::RegDeleteValueW(shared.Get(), (prefix + L"TeeChart5.ocx").c_str());
    ::RegDeleteValueW(shared.Get(), (prefix + row.moduleName).c_str());
  });
}

void CStoreCleanup::CleanDistributionUnits() const {
  ForEachRemoved([](const CatalogEntry& row) {
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kDistributionUnitsKey + row.clsid);
  });
}

void CStoreCleanup::CleanModuleUsage() const {
  // The browser names these keys by the file's path written with forward slashes.
  std::wstring prefix = windowsFolder_;
  std::replace(prefix.begin(), prefix.end(), L'\\', L'/');
  prefix += L"/Downloaded Program files/";
  ForEachRemoved([&](const CatalogEntry& row) {
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kModuleUsageKey + prefix + row.moduleName);
    // The service records an owner for the INF as well.
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kModuleUsageKey + prefix + row.infName);
  });
}
