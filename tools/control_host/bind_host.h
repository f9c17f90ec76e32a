#pragma once

#include <windows.h>

#include <urlmon.h>
#include <wrl/client.h>

#include <string>

#include "common/com_object.h"

// The container's bind host, as a browser offers it through SID_SBindHost: names a control
// gives are resolved against the page's URL, and bindings go through the platform's urlmon.
class CBindHost final : public CComObject<IBindHost> {
 public:
  // A bind host for the page at page_url, an absolute URL (http:, file:, ...). E_INVALIDARG for a
  // text without a scheme; *host is then untouched.
  [[nodiscard]] static HRESULT Create(const std::wstring& page_url,
                                      Microsoft::WRL::ComPtr<CBindHost>& host);

  // Create parses the URL; this takes the page's moniker ready made.
  CBindHost(std::wstring page_url, Microsoft::WRL::ComPtr<IMoniker> page);

  const std::wstring& PageUrl() const { return pageUrl_; }
  IMoniker* PageMoniker() const { return page_.Get(); }

  // A URL moniker of name relative to the page (an absolute name stands for itself); *moniker
  // is null on failure.
  STDMETHODIMP CreateMoniker(LPOLESTR name, IBindCtx* context, IMoniker** moniker,
                             DWORD reserved) override;
  // Registers callback (if any) on the bind context (a fresh one when none is given), then binds
  // the moniker itself, so an asynchronous binding reports through callback as urlmon runs it.
  // *object is null on failure, and for a binding that goes on asynchronously.
  STDMETHODIMP MonikerBindToStorage(IMoniker* moniker, IBindCtx* context,
                                    IBindStatusCallback* callback, REFIID riid,
                                    void** object) override;
  STDMETHODIMP MonikerBindToObject(IMoniker* moniker, IBindCtx* context,
                                   IBindStatusCallback* callback, REFIID riid,
                                   void** object) override;

 private:
  ~CBindHost() override = default;

  using BindFunction = HRESULT (STDMETHODCALLTYPE IMoniker::*)(IBindCtx*, IMoniker*, REFIID,
                                                               void**);
  // Registers the callback on the context (see Prepare), then binds the moniker with `bind`.
  static HRESULT Bind(IMoniker* moniker, IBindCtx* context, IBindStatusCallback* callback,
                      REFIID riid, void** object, BindFunction bind);
  // The bind context to use (context itself, or a new one) with callback registered on it.
  static HRESULT Prepare(IBindCtx* context, IBindStatusCallback* callback,
                         Microsoft::WRL::ComPtr<IBindCtx>& prepared);

  std::wstring pageUrl_;
  Microsoft::WRL::ComPtr<IMoniker> page_;
};
