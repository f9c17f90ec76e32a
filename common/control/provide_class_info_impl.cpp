#include "common/control/provide_class_info_impl.h"

#include "common/com_server/type_info_dispatch.h"

STDMETHODIMP ProvideClassInfoImpl::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  return GetModuleTypeInfo(*Class().clsid, info);
}

STDMETHODIMP ProvideClassInfoImpl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = *Class().events;
  return S_OK;
}
