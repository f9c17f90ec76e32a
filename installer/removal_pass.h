#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "installer/deletion_list.h"
#include "installer/install_run.h"
#include "installer/labeled_progress_ctrl.h"
#include "installer/removal_platform.h"
#include "installer/store_cleanup.h"

// Where a removal pass shows what it does: the dialog's two bars.
struct RemovalDisplay {
  CLabeledProgressCtrl& currentBar;
  CLabeledProgressCtrl& totalBar;
  HWND dialog;                                   // its client DC measures the current bar's label
  std::function<std::wstring(UINT)> loadString;  // texts 126 and 128
};

// Takes whatever copy of the catalog's components the browser's component store holds out of
// it: registry records, store files (with the other files each component's record lists),
// conflict folders and the files the catalog's rules name in the store and the system directory.
// Runs on the dialog's thread, reports on its two bars, and keeps the run's removal state and
// counts in the run.
class CRemovalPass {
 public:
  // Empty folders mean the real Windows and system directories; null platform the real calls.
  CRemovalPass(CInstallRun& run, RemovalDisplay display, IRemovalPlatform* platform = nullptr,
               std::wstring windowsFolder = {}, std::wstring systemFolder = {});

  // The whole pass. The caller reads the run's abort request afterwards.
  void RemoveInstalledComponents();

  void CountRemovableComponents(const std::wstring& storeFolderWithSlash);
  size_t BuildDeletionList();
  void DeleteStoreFiles(const std::wstring& storeFolder);
  void CleanConflictFolder(const std::wstring& folder);
  void ShowDeletedItem(const std::wstring& displayName);
  void ResetAfterRemoval();

  // The thread was asked to quit during the pass, which ended it there; the request was posted
  // again for the loop outside.
  bool QuitRequested() const { return quitRequested_; }

  const std::wstring& StoreFolder() const { return storeFolder_; }  // no trailing backslash
  const std::wstring& SystemFolder() const { return systemFolder_; }
  const CDeletionList& DeletionList() const { return deletionList_; }

 private:
  void ScanConflictFolders(const std::wstring& storeFolder);
  void Unregister(const std::wstring& path, const wchar_t* switches);
  void DeleteListedFiles(const std::wstring& clsid);
  void ApplyRules(size_t row, const std::wstring& storeFolder);
  void DeleteSystemFileAfterUnregistering(const std::wstring& name);
  void SetTotalLabel();

  CInstallRun& run_;
  RemovalDisplay display_;
  IRemovalPlatform& platform_;
  std::wstring windowsFolder_;
  std::wstring systemFolder_;
  std::wstring storeFolder_;
  CDeletionList deletionList_;
  CStoreCleanup::ListedFiles listedFiles_;  // of this pass, until their component goes
  bool quitRequested_ = false;
};
