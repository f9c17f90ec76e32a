#include "common/control/object_safety_impl.h"

#include <wrl/client.h>

bool ObjectSafetyImpl::HasInterface(REFIID riid) {
  Microsoft::WRL::ComPtr<IUnknown> found;
  return SUCCEEDED(
      ControlUnknown()->QueryInterface(riid, reinterpret_cast<void**>(found.GetAddressOf())));
}

STDMETHODIMP ObjectSafetyImpl::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                         DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  *supported = 0;
  *enabled = 0;
  if (!HasInterface(riid)) return E_NOINTERFACE;
  *supported = kSupported;
  *enabled = enabled_;
  return S_OK;
}

STDMETHODIMP ObjectSafetyImpl::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  if (!HasInterface(riid)) return E_NOINTERFACE;
  if ((mask & ~kSupported) != 0) return E_FAIL;
  enabled_ = (enabled_ & ~mask) | (enabled & mask);
  return S_OK;
}
