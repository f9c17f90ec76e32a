#pragma once

#include <windows.h>

#include <urlmon.h>
#include <wrl/client.h>

#include <string>

#include "common/bind/bind_status_owner.h"
#include "common/bind/bind_status_reader.h"
#include "common/window/window_impl.h"
#include "installer/core/version_text.h"
#include "installer/install_messages.h"

class ICodeDownloadService;

// Where the console user's browser settings live. With no root (discovery failed, or not done)
// the per-user steps are skipped; the connection limit then goes to the current user.
struct ConsoleUserSettings {
  HKEY userRoot = nullptr;           // HKEY_CURRENT_USER or HKEY_USERS
  std::wstring userExtSettingsPath;  // below userRoot, ends in a backslash
  std::wstring userSid;              // set when userRoot is HKEY_USERS
};

// Installs one catalog row at a time through the code-download service and reports to its parent
// dialog with WM_INSTALL_PROGRESS and WM_INSTALL_DONE; the binding-ended notification carries the
// row's outcome: 0, one of our own codes, or the failure the service reported. It is a hidden child
// window: the row's bind-status notifications are posted to it, so the dialog's handlers run in the
// order they came.
class CInstallEngine : private CWindowImpl, private IBindStatusOwner {
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
  void RaiseConnectionLimit(DWORD minimum) const;
  // Cuts the row's reader loose and ends its binding, if one runs.
  void DropReader();
  LONG Outcome() const;

  // IBindStatusOwner: the row's notifications, posted on to the engine window.
  HRESULT OnBindProgress(ULONG progress, ULONG progressMax, ULONG status,
                         const wchar_t* text) override;
  HRESULT OnBindObject(REFIID riid, IUnknown* object) override;
  void OnBindStop(HRESULT result, const std::wstring& text) override;
  HWND BindWindow() override { return Handle(); }

  ICodeDownloadService& service_;
  const ConsoleUserSettings user_;

  std::wstring clsidText_;
  std::wstring codeBase_;
  VersionPair version_;

  Microsoft::WRL::ComPtr<CBindStatusReader> reader_;  // the row in progress, if any
  Microsoft::WRL::ComPtr<IBindCtx> bindContext_;
  // Of the row in progress: our own reason to end it, the binding's result, and whether its
  // class object was handed on. Outcome() makes the code WM_INSTALL_DONE carries of them.
  LONG installResult_ = kOutcomeNoError;
  HRESULT stopResult_ = S_OK;
  bool objectDelivered_ = false;
  // Set while the last status was finding-resource; deliberately kept from one row to the next.
  bool sawFindingResource_ = false;
};
