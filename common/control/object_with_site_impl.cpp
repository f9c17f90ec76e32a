#include "common/control/object_with_site_impl.h"

STDMETHODIMP ObjectWithSiteImpl::SetSite(IUnknown* site) {
  site_ = site;
  return S_OK;
}

STDMETHODIMP ObjectWithSiteImpl::GetSite(REFIID riid, void** site) {
  if (site == nullptr) return E_POINTER;
  *site = nullptr;
  if (site_ == nullptr) return E_FAIL;
  return site_->QueryInterface(riid, site);
}
