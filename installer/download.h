#pragma once

#include <windows.h>
#include <urlmon.h>

#include "common/com_object.h"

class CInstallEngine;

// The bind-status callback of one row's download. It only posts to the engine window, so the
// dialog's handlers run in the order the notifications came.
class CDownload final : public CComObject<IBindStatusCallback, IWindowForBindingUI> {
 public:
  explicit CDownload(CInstallEngine& owner);

  LONG InstallResult() const { return installResult_; }

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override;
  STDMETHODIMP GetPriority(LONG* priority) override;
  STDMETHODIMP OnLowResource(DWORD reserved) override;
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                          LPCWSTR statusText) override;
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error) override;
  STDMETHODIMP GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
  STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                               STGMEDIUM* medium) override;
  STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* object) override;

  // IWindowForBindingUI
  STDMETHODIMP GetWindow(REFGUID reason, HWND* window) override;

 private:
  CInstallEngine& owner_;
  LONG installResult_ = 0;
};
