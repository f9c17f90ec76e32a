#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/component_store.h"
#include "platform/core/inf_reader.h"

class CCodeBaseDownload;

// One component's CAB made ready to install: fetched, checked, unpacked into a private folder,
// and its files staged beside their final places in the store. Prepare does the slow work and
// may run on any thread that has no multithreaded apartment (a network code base is downloaded
// through the thread's own messages); nothing in the store changes before the commit.
class CComponentPackage {
 public:
  struct File {
    InfFileEntry entry;
    std::wstring path;  // where it is once installed
    bool selfRegister = false;
  };

  CComponentPackage(std::wstring clsid, std::wstring codeBase, CComponentStore store);
  ~CComponentPackage();  // removes the private folder and staged copies that were not committed
  CComponentPackage(const CComponentPackage&) = delete;
  CComponentPackage& operator=(const CComponentPackage&) = delete;

  HRESULT Prepare(const std::atomic<bool>& cancel);

  bool IsHtml() const { return html_; }  // the code base held a web page, not a CAB
  const std::wstring& LocalCab() const { return localCab_; }
  const std::wstring& DisplayName() const { return displayName_; }
  const std::vector<File>& Files() const { return files_; }  // in installation order

  // Records the files' owners, puts the staged files in place, registers the self-registering
  // ones and records the component. On failure the store is left as it was: registrations,
  // files and records are taken back (kErrorRollbackAtRestart when an original can only come back
  // at the next restart).
  HRESULT Install();

 private:
  HRESULT Fetch(const std::atomic<bool>& cancel);
  HRESULT Unpack(const std::atomic<bool>& cancel);
  HRESULT Stage();
  HRESULT Place(const std::wstring& name, int destDir, const std::wstring& source,
                const std::optional<CComponentStore::Version>& declaredVersion);
  HRESULT RecordFiles();
  // Runs the file's own (un)registration; a file that is not a PE image with a module's
  // extension (.dll, .ocx, .exe) is never run: ERROR_BAD_EXE_FORMAT.
  HRESULT Register(const File& file, bool unregister = false) const;
  // Takes back a failed install and gives the failure to report.
  HRESULT Undo(const std::vector<size_t>& registered, HRESULT failure);

  const std::wstring clsid_;
  const std::wstring codeBase_;
  CComponentStore store_;
  bool html_ = false;
  std::wstring localCab_;
  std::unique_ptr<CCodeBaseDownload> download_;  // holds localCab_ for a network code base
  std::wstring folder_;                          // private extraction folder
  std::wstring infMember_;
  CodeDownloadInf inf_;
  std::wstring displayName_;
  std::wstring version_;
  std::vector<File> files_;
  std::vector<CComponentStore::Placement> placements_;  // files_, then the INF
  std::wstring conflictFolder_;  // the CONFLICT.n folder of this install, once one is needed
};
