#include "tools/control_host/event_sink.h"

#include <oleauto.h>

#include <utility>

#include "common/scoped_bstr.h"

using Microsoft::WRL::ComPtr;

namespace {

// The default source dispinterface among a coclass's implemented interfaces.
HRESULT DefaultSourceOf(ITypeInfo* class_info, IID* events, ComPtr<ITypeInfo>& info) {
  TYPEATTR* attributes = nullptr;
  HRESULT result = class_info->GetTypeAttr(&attributes);
  if (FAILED(result)) return result;
  const bool coclass = attributes->typekind == TKIND_COCLASS;
  const WORD count = attributes->cImplTypes;
  class_info->ReleaseTypeAttr(attributes);
  if (!coclass) return E_NOINTERFACE;

  for (UINT i = 0; i < count; ++i) {
    INT flags = 0;
    if (FAILED(class_info->GetImplTypeFlags(i, &flags))) continue;
    constexpr INT kWanted = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    if ((flags & kWanted) != kWanted) continue;
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> source;
    if (FAILED(class_info->GetRefTypeOfImplType(i, &reference)) ||
        FAILED(class_info->GetRefTypeInfo(reference, &source))) {
      continue;
    }
    result = source->GetTypeAttr(&attributes);
    if (FAILED(result)) return result;
    // Only a dispinterface can be sunk through IDispatch alone.
    const bool dispinterface = attributes->typekind == TKIND_DISPATCH;
    const IID found = attributes->guid;
    source->ReleaseTypeAttr(attributes);
    if (!dispinterface) return E_NOINTERFACE;
    *events = found;
    info = std::move(source);
    return S_OK;
  }
  return E_NOINTERFACE;
}

}  // namespace

HRESULT CEventSink::FindDefaultSource(IUnknown* object, ITypeInfo* class_info, IID* events,
                                      ITypeInfo** info) {
  if (object == nullptr || events == nullptr || info == nullptr) return E_POINTER;
  ComPtr<IProvideClassInfo2> provider;
  IID advertised = IID_NULL;
  if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&provider))) &&
      SUCCEEDED(provider->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &advertised))) {
    // The names still come from a type library: the class's own, or the one given.
    ComPtr<ITypeInfo> described = class_info;
    if (!described) (void)provider->GetClassInfo(&described);  // none: the fallback below
    ComPtr<ITypeLib> library;
    UINT index = 0;
    ComPtr<ITypeInfo> source;
    if (described && SUCCEEDED(described->GetContainingTypeLib(&library, &index)) &&
        SUCCEEDED(library->GetTypeInfoOfGuid(advertised, &source))) {
      *events = advertised;
      *info = source.Detach();
      return S_OK;
    }
  }
  if (class_info == nullptr) return E_NOINTERFACE;
  IID found = IID_NULL;
  ComPtr<ITypeInfo> source;
  const HRESULT result = DefaultSourceOf(class_info, &found, source);
  if (FAILED(result)) return result;
  *events = found;
  *info = source.Detach();
  return S_OK;
}

CEventSink::CEventSink(REFIID events, ComPtr<ITypeInfo> info, Handler handler)
    : events_(events), info_(std::move(info)), handler_(std::move(handler)) {}

HRESULT CEventSink::Connect(IUnknown* object) {
  if (object == nullptr) return E_POINTER;
  if (cookie_ != 0) return E_UNEXPECTED;
  ComPtr<IConnectionPointContainer> container;
  HRESULT result = object->QueryInterface(IID_PPV_ARGS(&container));
  if (FAILED(result)) return result;
  ComPtr<IConnectionPoint> point;
  result = container->FindConnectionPoint(events_, &point);
  if (FAILED(result)) return result;
  DWORD cookie = 0;
  result = point->Advise(static_cast<IDispatch*>(this), &cookie);
  if (FAILED(result)) return result;
  point_ = std::move(point);
  cookie_ = cookie;
  return S_OK;
}

void CEventSink::Disconnect() {
  if (point_ && cookie_ != 0) {
    (void)point_->Unadvise(cookie_);  // a source that lost the connection already is no worse off
  }
  cookie_ = 0;
  point_.Reset();
}

STDMETHODIMP CEventSink::QueryInterface(REFIID riid, void** object) {
  if (object != nullptr && riid == events_) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  return CComObject<IDispatch>::QueryInterface(riid, object);
}

STDMETHODIMP CEventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP CEventSink::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return info_.CopyTo(info);
}

STDMETHODIMP CEventSink::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                       DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return ::DispGetIDsOfNames(info_.Get(), names, count, ids);
}

STDMETHODIMP CEventSink::Invoke(DISPID id, REFIID riid, LCID, WORD, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO*, UINT*) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (params == nullptr) return E_POINTER;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  ScopedBstr name;
  UINT found = 0;
  if (FAILED(info_->GetNames(id, name.Receive(), 1, &found)) || found == 0) {
    return DISP_E_MEMBERNOTFOUND;
  }
  FiredEvent event;
  event.id = id;
  event.name.assign(name.Get(), ::SysStringLen(name.Get()));
  event.arguments.resize(params->cArgs);
  for (UINT i = 0; i < params->cArgs; ++i) {
    // DISPPARAMS carries the last argument first; a by-reference one is copied as its value.
    const HRESULT copied =
        ::VariantCopyInd(event.arguments[params->cArgs - 1 - i].Receive(), &params->rgvarg[i]);
    if (FAILED(copied)) return copied;
  }
  if (result != nullptr) ::VariantInit(result);
  // The handler runs on a reference of ours: it may close the host, which lets the sink go.
  const ComPtr<CEventSink> keep(this);
  ScopedVariant answer;
  if (handler_) handler_(event, answer);
  if (result != nullptr) answer.Detach(result);
  return S_OK;
}
