#pragma once

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string>

#include "common/window/window_impl.h"
#include "core/version_text.h"
#include "download.h"
#include "install_messages.h"

class ICodeDownloadService;

// Where the console user's browser settings live. With no root (discovery failed, or not done)
// the per-user steps are skipped; the connection limit then goes to the current user.
struct ConsoleUserSettings {
  HKEY userRoot = nullptr;           // HKEY_CURRENT_USER or HKEY_USERS
  std::wstring userExtSettingsPath;  // below userRoot, ends in a backslash
  std::wstring userSid;              // set when userRoot is HKEY_USERS
};

// Installs one catalog row at a time through the code-download service and reports to its parent
// dialog with WM_INSTALL_PROGRESS and WM_INSTALL_DONE. It is a hidden child window so that the
// download callback can post to it.
class CInstallEngine : private CWindowImpl {
 public:
  CInstallEngine(ICodeDownloadService& service, ConsoleUserSettings user);
  ~CInstallEngine();
  CInstallEngine(const CInstallEngine&) = delete;
  CInstallEngine& operator=(const CInstallEngine&) = delete;

  // A never-visible child "button" window of the dialog, control id 1.
  [[nodiscard]] bool Create(HWND parent);
  void Destroy();
  using CWindowImpl::Handle;

  void SetTarget(const std::wstring& clsidText, const std::wstring& codeBase,
                 const std::wstring& versionText);
  // Begins the installation of the target and returns at once.
  void Start();
  // Asks the binding in progress, if any, to end. Always succeeds.
  HRESULT Abort();

  // State shared by the row's download callback.
  void HoldBinding(IBinding* binding) { binding_ = binding; }
  void ForgetBinding() { binding_.Reset(); }
  bool& SawFindingResource() { return sawFindingResource_; }

  const std::wstring& ClsidText() const { return clsidText_; }
  const std::wstring& CodeBase() const { return codeBase_; }
  VersionPair Version() const { return version_; }

 private:
  BEGIN_MSG_MAP(CInstallEngine)
    MESSAGE_HANDLER(WM_INSTALL_OBJECT, OnObject)
    MESSAGE_HANDLER(WM_INSTALL_PROGRESS, OnProgress)
    MESSAGE_HANDLER(WM_INSTALL_DONE, OnDone)
  END_MSG_MAP()

  LRESULT OnObject(WPARAM object, LPARAM);
  LRESULT OnProgress(WPARAM statusCode, LPARAM statusText);
  LRESULT OnDone(WPARAM, LPARAM);
  void PrepareUserSettings() const;
  void RaiseConnectionLimit() const;

  ICodeDownloadService& service_;
  const ConsoleUserSettings user_;

  std::wstring clsidText_;
  std::wstring codeBase_;
  VersionPair version_;

  Microsoft::WRL::ComPtr<CDownload> download_;  // the row in progress, if any
  Microsoft::WRL::ComPtr<IBindCtx> bindContext_;
  Microsoft::WRL::ComPtr<IBindStatusCallback> statusCallback_;
  Microsoft::WRL::ComPtr<IBinding> binding_;
  // Set while the last status was finding-resource; deliberately kept from one row to the next.
  bool sawFindingResource_ = false;
};
