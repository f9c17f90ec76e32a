#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
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

  // Puts the staged files in place, registers the self-registering ones and records the
  // component. On failure the store is left as it was.
  HRESULT Install();

 private:
  HRESULT Fetch(const std::atomic<bool>& cancel);
  HRESULT Unpack(const std::atomic<bool>& cancel);
  HRESULT Stage();
  HRESULT Register(const File& file) const;

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
};
