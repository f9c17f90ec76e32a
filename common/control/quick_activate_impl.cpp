#include "common/control/quick_activate_impl.h"

using Microsoft::WRL::ComPtr;

STDMETHODIMP QuickActivateImpl::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (container == nullptr || control == nullptr) return E_POINTER;
  // Containers built for older headers pass a shorter structure; its first fields still hold.
  if (container->cbSize < offsetof(QACONTAINER, pOleControlSite) ||
      control->cbSize < offsetof(QACONTROL, dwPointerActivationPolicy)) {
    return E_INVALIDARG;
  }
  HRESULT result = SetSite(container->pClientSite);
  if (FAILED(result)) return result;
  if (container->pAdviseSink != nullptr) {
    viewSink_ = container->pAdviseSink;
    viewSinkAspects_ = DVASPECT_CONTENT;
    viewSinkFlags_ = 0;
  }
  control->dwMiscStatus = Class().miscStatus;
  control->dwViewStatus = Class().viewStatus;
  control->dwEventCookie = 0;
  control->dwPropNotifyCookie = 0;
  if (container->pUnkEventSink != nullptr) {
    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(ControlUnknown()->QueryInterface(IID_PPV_ARGS(&points))) &&
        SUCCEEDED(points->FindConnectionPoint(*Class().events, &point))) {
      result = point->Advise(container->pUnkEventSink, &control->dwEventCookie);
      if (FAILED(result)) return result;
    }
  }
  return S_OK;
}

STDMETHODIMP QuickActivateImpl::SetContentExtent(LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  return SetExtent(*size);
}

STDMETHODIMP QuickActivateImpl::GetContentExtent(LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  *size = Extent();
  return S_OK;
}
