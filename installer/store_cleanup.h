#pragma once

#include <string>

#include "installer/catalog.h"
#include "installer/deletion_list.h"

// Erases what the browser recorded in the machine-wide registry for the components a removal
// pass takes out: the shared-file counts, the distribution units and the module-usage keys (of the
// module and of the INF).
// A component is chosen by its module name being in the deletion list; failures are ignored.
class CStoreCleanup {
 public:
  // windowsFolder without a trailing backslash; empty means the real Windows directory.
  CStoreCleanup(const CCatalog& catalog, const CDeletionList& deletionList,
                std::wstring windowsFolder = {});

  void CleanSharedDllCounts() const;
  void CleanDistributionUnits() const;
  void CleanModuleUsage() const;

  const std::wstring& WindowsFolder() const { return windowsFolder_; }

 private:
  template <typename Action>
  void ForEachRemoved(Action action) const;

  const CCatalog& catalog_;
  const CDeletionList& deletionList_;
  std::wstring windowsFolder_;
};
