#pragma once

#include <windows.h>
#include <cguid.h>
#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "com_module.h"

// The type description of interface iid in the module's embedded type library (TYPELIB
// resource 1). The library is loaded once and each description kept, so later calls are cheap.
HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info);

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
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT result = GetModuleTypeInfo(__uuidof(Dual), &info);
    if (FAILED(result)) return result;
    return ::DispGetIDsOfNames(info.Get(), names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT loaded = GetModuleTypeInfo(__uuidof(Dual), &info);
    if (FAILED(loaded)) return loaded;
    return ::DispInvoke(static_cast<Dual*>(this), info.Get(), id, flags, params, result, exception,
                        argument_error);
  }

 protected:
  TypeInfoDispatch() = default;
};

// A server object whose first base is a TypeInfoDispatch: it also answers IDispatch, which the
// plain ServerObject cannot name, and the dual interface's IID.
template <typename Dual, typename... Others>
class ServerObject<TypeInfoDispatch<Dual>, Others...> : public TypeInfoDispatch<Dual>,
                                                         public Others... {
 public:
  ServerObject() = default;
  ServerObject(const ServerObject&) = delete;
  ServerObject& operator=(const ServerObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(Dual)) {
      *object = static_cast<Dual*>(this);
    } else {
      (void)(Match<Others>(riid, object) || ...);
    }
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = ::InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
  }

 protected:
  virtual ~ServerObject() = default;

 private:
  template <typename I>
  bool Match(REFIID riid, void** object) {
    if (riid != __uuidof(I)) return false;
    *object = static_cast<I*>(this);
    return true;
  }

  LONG refs_ = 1;  // the creator holds the first reference
  ModuleObjectCount count_;
};
