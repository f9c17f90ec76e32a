#pragma once

#include <map>
#include <string>
#include <vector>

#include "installer/catalog.h"
#include "installer/deletion_list.h"

class RegKey;

// Erases what the browser recorded in the machine-wide registry for the components a removal
// pass takes out: the shared-file counts, the distribution units and the module-usage keys (of the
// module and of the INF).
// A component is chosen by its module name being in the deletion list; failures are ignored.
class CStoreCleanup {
 public:
  // The files a removal takes out beside the catalog's names, by class id in upper case.
  using ListedFiles = std::map<std::wstring, std::vector<std::wstring>>;

  // windowsFolder without a trailing backslash; empty means the real Windows directory.
  CStoreCleanup(const CCatalog& catalog, const CDeletionList& deletionList,
                std::wstring windowsFolder = {});

  // Before the distribution units go: the other files each removed component's unit lists
  // (Contains\Files, besides its module in the store folder) are let go of as well. This
  // component's module-usage entry goes, and its shared-file count is lowered; a file nobody else
  // counts or uses loses both records and is returned, to be unregistered and deleted. A file that
  // was there before any record of it, or that lies outside the store, Windows and system
  // folders, keeps its place on disk.
  ListedFiles ReleaseListedFiles(const std::wstring& systemFolder) const;
  void CleanSharedDllCounts() const;
  void CleanDistributionUnits() const;
  void CleanModuleUsage() const;

  const std::wstring& WindowsFolder() const { return windowsFolder_; }

 private:
  template <typename Action>
  void ForEachRemoved(Action action) const;
  // True when the component's hold was the last one on the file.
  static bool Release(const std::wstring& clsid, const std::wstring& path, RegKey& shared);

  const CCatalog& catalog_;
  const CDeletionList& deletionList_;
  std::wstring windowsFolder_;
};
