#include "installer/store_cleanup.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/reg_key.h"
#include "common/system_folders.h"
#include "common/text_compare.h"
#include "installer/core/catalog_table.h"
#include "platform/component_store.h"

namespace {

std::wstring Upper(std::wstring text) {
  if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The store and the folders an INF may send a file to (one level of CONFLICT.n below the store);
// a listed path anywhere else is not trusted to be ours.
bool InOurFolders(const std::wstring& path, const std::wstring& windowsFolder,
                  const std::wstring& systemFolder) {
  if (path.find(L"..") != std::wstring::npos || path.find(L'/') != std::wstring::npos) return false;
  const std::wstring store = StoreFolderIn(windowsFolder);
  const std::wstring folder = FolderOf(path);
  return EqualsNoCase(folder, store) || EqualsNoCase(FolderOf(folder), store) ||
         EqualsNoCase(folder, windowsFolder) || EqualsNoCase(folder, systemFolder);
}

}  // namespace

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

CStoreCleanup::ListedFiles CStoreCleanup::ReleaseListedFiles(
    const std::wstring& systemFolder) const {
  ListedFiles released;
  RegKey shared;
  (void)shared.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
  const std::wstring store = StoreFolderIn(windowsFolder_);
  ForEachRemoved([&](size_t, const CatalogEntry& row) {
    // Rows that share a class id share its unit: it is let go of once.
    const auto [entry, first] = released.try_emplace(Upper(row.clsid));
    if (!first) return;
    RegKey unit;
    if (unit.Open(HKEY_LOCAL_MACHINE, kDistributionUnitsKey + row.clsid + L"\\Contains\\Files",
                  KEY_QUERY_VALUE) != ERROR_SUCCESS) {
      return;
    }
    for (const std::wstring& path : unit.ValueNames()) {
      // The module keeps the records' own rules, as every removed component's does.
      if (path.empty() || EqualsNoCase(path, store + L"\\" + row.moduleName)) continue;
      if (Release(row.clsid, path, shared) && InOurFolders(path, windowsFolder_, systemFolder))
        entry->second.push_back(path);
    }
  });
  return released;
}

bool CStoreCleanup::Release(const std::wstring& clsid, const std::wstring& path, RegKey& shared) {
  const std::wstring usagePath = kModuleUsageKey + CComponentStore::ModuleUsageKey(path);
  std::wstring owner;
  bool othersUse = false;
  {
    RegKey usage;
    if (usage.Open(HKEY_LOCAL_MACHINE, usagePath, KEY_QUERY_VALUE | KEY_SET_VALUE) ==
        ERROR_SUCCESS) {
      owner = usage.ReadString(L".Owner").value_or(L"");
      (void)usage.DeleteValue(clsid);
      const std::vector<std::wstring> clients = usage.ValueNames();
      othersUse = std::any_of(clients.begin(), clients.end(), [&](const std::wstring& name) {
        return !name.empty() && name != L".Owner" && !EqualsNoCase(name, clsid);
      });
    }
  }
  const DWORD count = shared.IsOpen() ? shared.ReadDword(path).value_or(0) : 0;
  if (count > 1) {
    (void)shared.WriteDword(path, count - 1);  // another component still counts it
    return false;
  }
  if (shared.IsOpen()) (void)shared.DeleteValue(path);
  if (othersUse) return false;
  (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, usagePath);
  // Whoever put the file there before any record of it may still need it.
  return !EqualsNoCase(owner, L"Unknown");
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
    // The service records an owner for the INF as well.
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kModuleUsageKey + prefix + row.infName);
  });
}
