#pragma once

#include <windows.h>

#include <cguid.h>
#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "common/com_server/com_module.h"

// The type description of interface iid in the module's embedded type library (TYPELIB
// resource 1). The library is loaded once and each description kept, so later calls are cheap.
HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info);

// DISP_E_BADPARAMCOUNT when a call passes more arguments than member id of this kind takes;
// oleaut32 on some platforms lets the extra ones through unseen.
HRESULT CheckArgumentCount(ITypeInfo* info, DISPID id, WORD flags, const DISPPARAMS* params);

// IDispatch of a dual interface, answered from the module's type library: names, optional
// arguments and their defaults, coercion and the DISP_E_* codes all come from oleaut32.
//   class CThing : public ServerObject<TypeInfoDispatch<IThing>, ...> { IThing's methods };
template <typename Dual>
class TypeInfoDispatch : public Dual {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return GetModuleTypeInfo(__uuidof(Dual), info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT result = GetModuleTypeInfo(__uuidof(Dual), &info);
    if (FAILED(result)) return result;
    return ::DispGetIDsOfNames(info.Get(), names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argument_error) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT loaded = GetModuleTypeInfo(__uuidof(Dual), &info);
    if (FAILED(loaded)) return loaded;
    const HRESULT counted = CheckArgumentCount(info.Get(), id, flags, params);
    if (FAILED(counted)) return counted;
    return ::DispInvoke(static_cast<Dual*>(this), info.Get(), id, flags, params, result, exception,
                        argument_error);
  }

 protected:
  TypeInfoDispatch() = default;
};

// A TypeInfoDispatch base answers for IDispatch as well as for its dual interface.
template <typename Dual>
struct InterfaceIdentity<TypeInfoDispatch<Dual>> {
  static bool Answers(REFIID riid) { return riid == IID_IDispatch || riid == __uuidof(Dual); }
};
