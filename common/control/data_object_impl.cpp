#include "common/control/data_object_impl.h"

namespace {

bool IsMetafileRequest(const FORMATETC& format) {
  return format.cfFormat == CF_METAFILEPICT && (format.tymed & TYMED_MFPICT) != 0 &&
         format.dwAspect == DVASPECT_CONTENT;
}

}  // namespace

STDMETHODIMP DataObjectImpl::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_POINTER;
  *medium = {};
  if (!IsMetafileRequest(*format)) return DV_E_FORMATETC;
  const SIZEL extent = Extent();
  HDC dc = ::CreateMetaFileW(nullptr);
  if (dc == nullptr) return E_OUTOFMEMORY;
  // A metafile is drawn in HIMETRIC: the picture spans the extent.
  ::SetMapMode(dc, MM_ANISOTROPIC);
  ::SetWindowOrgEx(dc, 0, 0, nullptr);
  ::SetWindowExtEx(dc, extent.cx, extent.cy, nullptr);
  const RECT bounds = {0, 0, extent.cx, extent.cy};
  (void)OnDraw(dc, bounds);  // a failed drawing still gives a (blank) picture
  HMETAFILE metafile = ::CloseMetaFile(dc);
  if (metafile == nullptr) return E_OUTOFMEMORY;
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, sizeof(METAFILEPICT));
  if (memory == nullptr) {
    ::DeleteMetaFile(metafile);
    return E_OUTOFMEMORY;
  }
  auto* picture = static_cast<METAFILEPICT*>(::GlobalLock(memory));
  picture->mm = MM_ANISOTROPIC;
  picture->xExt = extent.cx;
  picture->yExt = extent.cy;
  picture->hMF = metafile;
  ::GlobalUnlock(memory);
  medium->tymed = TYMED_MFPICT;
  medium->hMetaFilePict = memory;
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

STDMETHODIMP DataObjectImpl::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_POINTER;
  return IsMetafileRequest(*format) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP DataObjectImpl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out == nullptr) return E_POINTER;
  out->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP DataObjectImpl::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  if (formats == nullptr) return E_POINTER;
  *formats = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  FORMATETC metafile = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  return ::CreateFormatEnumerator(1, &metafile, formats);
}

STDMETHODIMP DataObjectImpl::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                                     DWORD* connection) {
  if (format == nullptr || sink == nullptr || connection == nullptr) return E_POINTER;
  *connection = 0;
  if (dataAdviseHolder_ == nullptr) {
    const HRESULT result = ::CreateDataAdviseHolder(&dataAdviseHolder_);
    if (FAILED(result)) return result;
  }
  return dataAdviseHolder_->Advise(this, format, flags, sink, connection);
}

STDMETHODIMP DataObjectImpl::DUnadvise(DWORD connection) {
  if (dataAdviseHolder_ == nullptr) return OLE_E_NOCONNECTION;
  return dataAdviseHolder_->Unadvise(connection);
}

STDMETHODIMP DataObjectImpl::EnumDAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  if (dataAdviseHolder_ == nullptr) return E_FAIL;
  return dataAdviseHolder_->EnumAdvise(advise);
}
