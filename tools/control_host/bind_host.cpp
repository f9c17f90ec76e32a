#include "tools/control_host/bind_host.h"

#include <wininet.h>

#include <utility>

using Microsoft::WRL::ComPtr;

CBindHost::CBindHost(std::wstring page_url, ComPtr<IMoniker> page)
    : pageUrl_(std::move(page_url)), page_(std::move(page)) {}

HRESULT CBindHost::Create(const std::wstring& page_url, ComPtr<CBindHost>& host) {
  // urlmon takes any text; a page without a scheme (or with a drive letter for one) would make
  // every name resolve to nonsense.
  wchar_t scheme[INTERNET_MAX_SCHEME_LENGTH] = {};
  DWORD length = 0;
  if (FAILED(::CoInternetParseUrl(page_url.c_str(), PARSE_SCHEMA, 0, scheme,
                                  INTERNET_MAX_SCHEME_LENGTH, &length, 0)) ||
      length < 2) {
    return E_INVALIDARG;
  }
  ComPtr<IMoniker> page;
  // URL_MK_UNIFORM: file: URLs stay URLs (file:///C:/...) instead of turning into DOS paths.
  const HRESULT result =
      ::CreateURLMonikerEx(nullptr, page_url.c_str(), page.GetAddressOf(), URL_MK_UNIFORM);
  if (FAILED(result)) return result;
  host = MakeComObject<CBindHost>(std::wstring(page_url), std::move(page));
  return S_OK;
}

STDMETHODIMP CBindHost::CreateMoniker(LPOLESTR name, IBindCtx*, IMoniker** moniker, DWORD) {
  if (moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  if (name == nullptr) return E_INVALIDARG;
  return ::CreateURLMonikerEx(page_.Get(), name, moniker, URL_MK_UNIFORM);
}

HRESULT CBindHost::Prepare(IBindCtx* context, IBindStatusCallback* callback,
                           ComPtr<IBindCtx>& prepared) {
  prepared = context;
  if (!prepared) {
    const HRESULT created = ::CreateBindCtx(0, prepared.GetAddressOf());
    if (FAILED(created)) return created;
  }
  if (callback == nullptr) return S_OK;
  ComPtr<IBindStatusCallback> previous;
  return ::RegisterBindStatusCallback(prepared.Get(), callback, previous.GetAddressOf(), 0);
}

HRESULT CBindHost::Bind(IMoniker* moniker, IBindCtx* context, IBindStatusCallback* callback,
                        REFIID riid, void** object, BindFunction bind) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (moniker == nullptr) return E_INVALIDARG;
  ComPtr<IBindCtx> prepared;
  const HRESULT result = Prepare(context, callback, prepared);
  if (FAILED(result)) return result;
  return (moniker->*bind)(prepared.Get(), nullptr, riid, object);
}

STDMETHODIMP CBindHost::MonikerBindToStorage(IMoniker* moniker, IBindCtx* context,
                                             IBindStatusCallback* callback, REFIID riid,
                                             void** object) {
  return Bind(moniker, context, callback, riid, object, &IMoniker::BindToStorage);
}

STDMETHODIMP CBindHost::MonikerBindToObject(IMoniker* moniker, IBindCtx* context,
                                            IBindStatusCallback* callback, REFIID riid,
                                            void** object) {
  return Bind(moniker, context, callback, riid, object, &IMoniker::BindToObject);
}
