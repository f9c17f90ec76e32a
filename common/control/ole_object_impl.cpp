#include "ole_object_impl.h"

using Microsoft::WRL::ComPtr;

STDMETHODIMP OleObjectImpl::SetClientSite(IOleClientSite* site) { return SetSite(site); }

STDMETHODIMP OleObjectImpl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = client_site_.Get();
  if (*site != nullptr) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP OleObjectImpl::Close(DWORD save_option) {
  (void)InPlaceDeactivate();
  if (dirty_ && client_site_ != nullptr &&
      (save_option == OLECLOSE_SAVEIFDIRTY || save_option == OLECLOSE_PROMPTSAVE)) {
    (void)client_site_->SaveObject();
    if (ole_advise_holder_ != nullptr) (void)ole_advise_holder_->SendOnSave();
  }
  if (ole_advise_holder_ != nullptr) (void)ole_advise_holder_->SendOnClose();
  return S_OK;
}

STDMETHODIMP OleObjectImpl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP OleObjectImpl::GetClipboardData(DWORD, IDataObject** data) {
  if (data == nullptr) return E_POINTER;
  *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP OleObjectImpl::DoVerb(LONG verb, LPMSG, IOleClientSite* active_site, LONG, HWND,
                                   LPCRECT) {
  if (client_site_ == nullptr && active_site != nullptr) (void)SetSite(active_site);
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      return InPlaceActivate(verb);
    case OLEIVERB_HIDE:
      (void)UIDeactivate();
      if (Window() != nullptr) ::ShowWindow(Window(), SW_HIDE);
      return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

STDMETHODIMP OleObjectImpl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs == nullptr) return E_POINTER;
  return ::OleRegEnumVerbs(*Class().clsid, verbs);
}

STDMETHODIMP OleObjectImpl::GetUserType(DWORD form, LPOLESTR* type) {
  if (type == nullptr) return E_POINTER;
  return ::OleRegGetUserType(*Class().clsid, form, type);
}

STDMETHODIMP OleObjectImpl::SetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  return ControlCore::SetExtent(*size);
}

STDMETHODIMP OleObjectImpl::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = Extent();
  return S_OK;
}

STDMETHODIMP OleObjectImpl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (connection == nullptr) return E_POINTER;
  *connection = 0;
  if (ole_advise_holder_ == nullptr) {
    const HRESULT result = ::CreateOleAdviseHolder(&ole_advise_holder_);
    if (FAILED(result)) return result;
  }
  return ole_advise_holder_->Advise(sink, connection);
}

STDMETHODIMP OleObjectImpl::Unadvise(DWORD connection) {
  if (ole_advise_holder_ == nullptr) return OLE_E_NOCONNECTION;
  return ole_advise_holder_->Unadvise(connection);
}

STDMETHODIMP OleObjectImpl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  if (ole_advise_holder_ == nullptr) return E_FAIL;
  return ole_advise_holder_->EnumAdvise(advise);
}

STDMETHODIMP OleObjectImpl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  // The class's own answer, which is also what its registration writes: it holds before the
  // class is registered too.
  *status = aspect == DVASPECT_CONTENT ? Class().miscStatus : 0;
  return S_OK;
}
