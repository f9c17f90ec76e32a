#include "store_cleanup.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/reg_key.h"

namespace {

const wchar_t kSharedDlls[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const wchar_t kDistributionUnits[] = L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";
const wchar_t kModuleUsage[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";

bool SameNoCase(const std::wstring& a, const wchar_t* b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

CStoreCleanup::CStoreCleanup(const CCatalog& catalog, const CDeletionList& deletionList, std::wstring windowsFolder)
    : catalog_(catalog),
      deletionList_(deletionList),
      windowsFolder_(windowsFolder.empty() ? SystemWindowsFolder() : std::move(windowsFolder)) {}

std::wstring CStoreCleanup::SystemWindowsFolder() {
  const UINT length = ::GetWindowsDirectoryW(nullptr, 0);
  std::vector<wchar_t> path(length + 1);
  const UINT written = ::GetWindowsDirectoryW(path.data(), static_cast<UINT>(path.size()));
  return std::wstring(path.data(), written < path.size() ? written : 0);
}

template <typename Action>
void CStoreCleanup::ForEachRemoved(Action action) const {
  // Catalog rows sharing a module name are each visited; extra names select nothing by themselves.
  for (size_t i = 0; i < catalog_.Size(); ++i) {
    const CatalogEntry& row = catalog_.Row(i);
    if (deletionList_.IsInDeletionList(row.moduleName)) action(row);
  }
}

void CStoreCleanup::CleanSharedDllCounts() const {
  const std::wstring prefix = windowsFolder_ + L"\\Downloaded Program Files\\";
  RegKey shared;
  if (shared.Open(HKEY_LOCAL_MACHINE, kSharedDlls, KEY_SET_VALUE) != ERROR_SUCCESS) return;
  ForEachRemoved([&](const CatalogEntry& row) {
    // These two components also registered a companion control under their own count.
    if (SameNoCase(row.moduleName, L"lurrin.dll")) ::RegDeleteValueW(shared.Get(), (prefix + L"Lurrinx.ocx").c_str());
    if (SameNoCase(row.moduleName, L"vormik.dll")) ::RegDeleteValueW(shared.Get(), (prefix + L"TeeChart5.ocx").c_str());
    ::RegDeleteValueW(shared.Get(), (prefix + row.moduleName).c_str());
  });
}

void CStoreCleanup::CleanDistributionUnits() const {
  ForEachRemoved([](const CatalogEntry& row) { (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kDistributionUnits + row.clsid); });
}

void CStoreCleanup::CleanModuleUsage() const {
  // The browser names these keys by the file's path written with forward slashes.
  std::wstring prefix = windowsFolder_;
  std::replace(prefix.begin(), prefix.end(), L'\\', L'/');
  prefix += L"/Downloaded Program files/";
  ForEachRemoved([&](const CatalogEntry& row) {
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kModuleUsage + prefix + row.moduleName);
  });
}
