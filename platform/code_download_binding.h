#pragma once

#include <windows.h>

#include <urlmon.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "common/com_object.h"
#include "common/window/window_impl.h"
#include "platform/component_package.h"

// One asynchronous class-object request. Every notification is made on the thread that started
// it, from posted messages, so the caller's message loop drives it; the unpacking and copying run
// on a worker thread meanwhile. The binding keeps itself alive until its stop notification.
class CCodeDownloadBinding final : public CComObject<IBinding>, private CWindowImpl {
 public:
  struct Request {
    CLSID clsid;
    std::wstring clsidText;
    std::wstring codeBase;
    DWORD classContext;
    IID iid;
  };

  // Starts the binding; notifications follow through the calling thread's message loop.
  static HRESULT Start(Request request, IBindStatusCallback* callback, CComponentStore store);

  // IBinding
  STDMETHODIMP Abort() override;
  STDMETHODIMP Suspend() override { return E_NOTIMPL; }
  STDMETHODIMP Resume() override { return E_NOTIMPL; }
  STDMETHODIMP SetPriority(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP GetPriority(LONG* priority) override;
  STDMETHODIMP GetBindResult(CLSID* protocol, DWORD* result, LPOLESTR* text,
                             DWORD* reserved) override;

 private:
  template <typename T, typename... Args>
  friend Microsoft::WRL::ComPtr<T> MakeComObject(Args&&... args);
  CCodeDownloadBinding(Request request, IBindStatusCallback* callback, CComponentStore store);
  ~CCodeDownloadBinding() override;

  bool ProcessMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void Begin();
  void Unpacked(HRESULT hr);
  void Install();
  // Each callback may abort the binding; false means it has ended.
  bool Progress(ULONG status, const std::wstring& text);
  void Stop(HRESULT result);

  Request request_;
  Microsoft::WRL::ComPtr<IBindStatusCallback> callback_;
  std::unique_ptr<CComponentPackage> package_;
  std::thread worker_;
  std::atomic<bool> aborted_{false};
  bool stopped_ = false;
  HRESULT result_ = S_OK;
};
