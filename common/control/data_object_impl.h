#pragma once

#include <windows.h>

#include <objidl.h>
#include <wrl/client.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IDataObject of a control: its picture as a metafile (CF_METAFILEPICT), drawn by OnDraw at the
// control's extent, and data advise sinks.
class DataObjectImpl : public IDataObject, public virtual ControlCore {
 public:
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                       DWORD* connection) override;
  STDMETHODIMP DUnadvise(DWORD connection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advise) override;

 protected:
  DataObjectImpl() = default;
  ~DataObjectImpl() = default;

 private:
  Microsoft::WRL::ComPtr<IDataAdviseHolder> dataAdviseHolder_;
};

template <>
struct InterfaceIdentity<DataObjectImpl> : AnswersFor<IDataObject> {};
