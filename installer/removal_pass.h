#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "installer/catalog.h"
#include "installer/deletion_list.h"
#include "installer/labeled_progress_ctrl.h"

// The calls of a removal pass that start programs or wait; tests substitute them.
class IRemovalPlatform {
 public:
  virtual ~IRemovalPlatform() = default;
  // Starts the command line directly and waits until the program ends: the file it works on is
  // deleted next, so it must be done with it.
  virtual void StartAndWait(const std::wstring& commandLine) = 0;
  // Opens the file through the shell, hidden, in the folder, and waits until the process ends.
  virtual void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                                const std::wstring& folder) = 0;
  virtual void Pause(DWORD milliseconds) = 0;
};

IRemovalPlatform& SystemRemovalPlatform();

// What the pass reads and changes of the dialog that runs it.
struct RemovalContext {
  const CCatalog& catalog;
  const std::array<bool, kCatalogSize>& selected;
  CLabeledProgressCtrl& currentBar;
  CLabeledProgressCtrl& totalBar;
  HWND dialog;                                   // its client DC measures the current bar's label
  std::function<std::wstring(UINT)> loadString;  // texts 126 and 128
  bool& removing;
  bool& abortRequested;
  bool& installing;
  size_t& currentIndex;
  int& stepCount;
};

// Takes whatever copy of the catalog's components the browser's component store holds out of
// it: registry records, store files, conflict folders and a few files particular components put
// in the system directory. Runs on the dialog's thread and reports on its two bars.
class CRemovalPass {
 public:
  // Empty folders mean the real Windows and system directories; null platform the real calls.
  explicit CRemovalPass(RemovalContext context, IRemovalPlatform* platform = nullptr,
                        std::wstring windowsFolder = {}, std::wstring systemFolder = {});

  // The whole pass. The caller reads abortRequested afterwards.
  void RemoveInstalledComponents();

  void CountRemovableComponents(const std::wstring& storeFolderWithSlash);
  size_t BuildDeletionList();
  void DeleteStoreFiles(const std::wstring& storeFolder);
  void CleanConflictFolder(const std::wstring& folder);
  void ShowDeletedItem(const std::wstring& displayName);
  void ResetAfterRemoval();

  // After the Pelgor row has started: puts the chart control and its registration program in
  // the system directory and registers the control.
  void RegisterChartControl();

  const std::wstring& StoreFolder() const { return storeFolder_; }  // no trailing backslash
  const std::wstring& SystemFolder() const { return systemFolder_; }
  const CDeletionList& DeletionList() const { return deletionList_; }
  int RemovalTotal() const { return removalTotal_; }
  int RemovedCount() const { return removedCount_; }

 private:
  void ScanConflictFolders(const std::wstring& storeFolder);
  void Unregister(const std::wstring& path, const wchar_t* switches);
  // What the row's fields name beyond its module and INF.
  void ApplyRules(size_t row, const std::wstring& storeFolder);
  void DeleteSystemFileAfterUnregistering(const std::wstring& name, const wchar_t* switches,
                                          const wchar_t* tool);
  void RemoveChartControl();
  void SetTotalLabel();
  bool PumpMessages();  // false when the thread was asked to quit

  RemovalContext context_;
  IRemovalPlatform& platform_;
  std::wstring windowsFolder_;
  std::wstring systemFolder_;
  std::wstring storeFolder_;
  CDeletionList deletionList_;
  int removalTotal_ = 0;
  int removedCount_ = 0;
};
