#include "common/control/view_object_impl.h"

STDMETHODIMP ViewObjectImpl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                                  LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                  ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (dc == nullptr) return E_INVALIDARG;
  RECT area = {};
  if (bounds != nullptr) {
    area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  } else if (InPlaceActive()) {
    area = Position();
  } else {
    return E_INVALIDARG;  // nowhere to draw
  }
  return OnDraw(dc, area);
}

STDMETHODIMP ViewObjectImpl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                         LOGPALETTE** colors) {
  if (colors == nullptr) return E_POINTER;
  *colors = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ViewObjectImpl::Freeze(DWORD, LONG, void*, DWORD* freeze) {
  if (freeze != nullptr) *freeze = 0;
  return E_NOTIMPL;
}

STDMETHODIMP ViewObjectImpl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewSink_ = sink;
  viewSinkAspects_ = aspects;
  viewSinkFlags_ = flags;
  return S_OK;
}

STDMETHODIMP ViewObjectImpl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = viewSinkAspects_;
  if (flags != nullptr) *flags = viewSinkFlags_;
  if (sink != nullptr) {
    *sink = viewSink_.Get();
    if (*sink != nullptr) (*sink)->AddRef();
  }
  return S_OK;
}

STDMETHODIMP ViewObjectImpl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = Extent();
  return S_OK;
}

STDMETHODIMP ViewObjectImpl::GetRect(DWORD, LPRECTL rect) {
  if (rect == nullptr) return E_POINTER;
  return E_NOTIMPL;  // the content fills the whole extent
}

STDMETHODIMP ViewObjectImpl::GetViewStatus(DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = Class().viewStatus;
  return S_OK;
}

STDMETHODIMP ViewObjectImpl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG,
                                           DWORD* hit) {
  if (bounds == nullptr || hit == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *hit = ::PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

STDMETHODIMP ViewObjectImpl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG,
                                          DWORD* hit) {
  if (bounds == nullptr || location == nullptr || hit == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  RECT common = {};
  *hit = ::IntersectRect(&common, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}
