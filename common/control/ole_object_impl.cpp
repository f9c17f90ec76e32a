#include "common/control/ole_object_impl.h"

using Microsoft::WRL::ComPtr;

STDMETHODIMP OleObjectImpl::SetClientSite(IOleClientSite* site) { return SetSite(site); }

STDMETHODIMP OleObjectImpl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = clientSite_.Get();
  if (*site != nullptr) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP OleObjectImpl::Close(DWORD save_option) {
  (void)InPlaceDeactivate();
  if (dirty_ && clientSite_ != nullptr &&
      (save_option == OLECLOSE_SAVEIFDIRTY || save_option == OLECLOSE_PROMPTSAVE)) {
    (void)clientSite_->SaveObject();
    if (oleAdviseHolder_ != nullptr) (void)oleAdviseHolder_->SendOnSave();
  }
  if (oleAdviseHolder_ != nullptr) (void)oleAdviseHolder_->SendOnClose();
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
  if (clientSite_ == nullptr && active_site != nullptr) (void)SetSite(active_site);
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
  if (oleAdviseHolder_ == nullptr) {
    const HRESULT result = ::CreateOleAdviseHolder(&oleAdviseHolder_);
    if (FAILED(result)) return result;
  }
  return oleAdviseHolder_->Advise(sink, connection);
}

STDMETHODIMP OleObjectImpl::Unadvise(DWORD connection) {
  if (oleAdviseHolder_ == nullptr) return OLE_E_NOCONNECTION;
  return oleAdviseHolder_->Unadvise(connection);
}

STDMETHODIMP OleObjectImpl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  if (oleAdviseHolder_ == nullptr) return E_FAIL;
  return oleAdviseHolder_->EnumAdvise(advise);
}

STDMETHODIMP OleObjectImpl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  // The class's own answer, which is also what its registration writes: it holds before the
  // class is registered too.
  *status = aspect == DVASPECT_CONTENT ? Class().miscStatus : 0;
  return S_OK;
}
