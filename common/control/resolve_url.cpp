#include "common/control/resolve_url.h"

#include <servprov.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <utility>

#include "common/scoped_owner.h"

using Microsoft::WRL::ComPtr;

HRESULT PageBindHost(IOleClientSite* site, ComPtr<IBindHost>& host) {
  if (site == nullptr) return E_FAIL;
  ComPtr<IServiceProvider> services;
  ComPtr<IBindHost> bind_host;
  if (FAILED(site->QueryInterface(IID_PPV_ARGS(&services))) ||
      FAILED(services->QueryService(SID_IBindHost, IID_PPV_ARGS(&bind_host))) ||
      bind_host == nullptr) {
    return E_FAIL;
  }
  host = std::move(bind_host);
  return S_OK;
}

HRESULT ResolvePageUrl(IOleClientSite* site, const wchar_t* url, std::wstring& absolute) {
  if (url == nullptr) return E_FAIL;
  ComPtr<IBindHost> bind_host;
  if (FAILED(PageBindHost(site, bind_host))) return E_FAIL;
  ComPtr<IBindCtx> context;
  HRESULT result = ::CreateBindCtx(0, &context);
  if (FAILED(result)) return result;
  ComPtr<IMoniker> moniker;
  result = bind_host->CreateMoniker(const_cast<LPOLESTR>(url), context.Get(), &moniker, 0);
  if (FAILED(result)) return result;
  if (moniker == nullptr) return E_FAIL;
  ScopedCoTaskMem name;
  result =
      moniker->GetDisplayName(context.Get(), nullptr, reinterpret_cast<LPOLESTR*>(name.Receive()));
  if (FAILED(result)) return result;
  if (name.Get() == nullptr) return E_FAIL;
  absolute = static_cast<const wchar_t*>(name.Get());
  return S_OK;
}
