#pragma once

// Calls through IDispatch by member name, as page script makes them, and an event sink that
// records what it hears.
#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/com_server/variant.h"

// DISPID of a member; DISPID_UNKNOWN when the name is refused.
inline DISPID DispIdOf(IDispatch* object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    return DISPID_UNKNOWN;
  }
  return id;
}

// Invoke by name with the arguments in source order; the result lands in `result`.
inline HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags,
                            std::vector<ScopedVariant>& arguments,
                            ScopedVariant* result = nullptr) {
  const DISPID id = DispIdOf(object, name);
  if (id == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
  std::vector<VARIANTARG> packed;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) packed.push_back(it->Get());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {packed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                       static_cast<UINT>(packed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  EXCEPINFO exception = {};
  UINT bad_argument = 0;
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                     result != nullptr ? result->Receive() : nullptr, &exception, &bad_argument);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  return hr;
}

template <typename... Args>
std::vector<ScopedVariant> Arguments(Args&&... args) {
  std::vector<ScopedVariant> list;
  (list.emplace_back(std::forward<Args>(args)), ...);
  return list;
}

inline ScopedVariant BoolArgument(bool value) {
  ScopedVariant v;
  v.Pointer()->vt = VT_BOOL;
  v.Pointer()->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

inline HRESULT PutByName(IDispatch* object, const wchar_t* name, ScopedVariant value) {
  auto arguments = Arguments(std::move(value));
  return InvokeByName(object, name, DISPATCH_PROPERTYPUT, arguments);
}

inline ScopedVariant GetByName(IDispatch* object, const wchar_t* name, HRESULT* hr = nullptr) {
  std::vector<ScopedVariant> none;
  ScopedVariant result;
  const HRESULT got = InvokeByName(object, name, DISPATCH_PROPERTYGET, none, &result);
  if (hr != nullptr) *hr = got;
  return result;
}

inline std::wstring TextOf(const VARIANT& value) {
  return value.vt == VT_BSTR && value.bstrVal != nullptr
             ? std::wstring(value.bstrVal, ::SysStringLen(value.bstrVal))
             : std::wstring();
}

// One event as a sink heard it: arguments in source order, each a copy.
struct HeardEvent {
  std::wstring sink;
  DISPID id;
  WORD flags;
  std::vector<VARTYPE> types;
  std::vector<std::wstring> texts;  // a BSTR argument's text, else empty
  std::vector<LONG> numbers;        // a VT_I4 argument's value, else 0
};

// An event sink (any dispinterface) that appends what it hears to a shared log.
class RecordingSink final : public IDispatch {
 public:
  RecordingSink(std::wstring name, REFIID events, std::vector<HeardEvent>& log)
      : name_(std::move(name)), events_(events), log_(log) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != events_) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    HeardEvent heard{name_, id, flags, {}, {}, {}};
    for (UINT i = params->cArgs; i-- > 0;) {
      const VARIANT& argument = params->rgvarg[i];
      heard.types.push_back(argument.vt);
      heard.texts.push_back(TextOf(argument));
      heard.numbers.push_back(argument.vt == VT_I4 ? argument.lVal : 0);
    }
    log_.push_back(std::move(heard));
    if (onEvent_) onEvent_();
    return result_;
  }

  ULONG References() const { return refs_; }
  void FailWith(HRESULT result) { result_ = result; }
  template <typename F>
  void OnEvent(F action) {
    onEvent_ = std::move(action);
  }

  // Connects to the object's connection point for `events`; the cookie is kept.
  HRESULT Connect(IUnknown* object) {
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = object->QueryInterface(IID_PPV_ARGS(&container));
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events_, &point_);
    if (SUCCEEDED(hr)) hr = point_->Advise(static_cast<IDispatch*>(this), &cookie_);
    return hr;
  }
  HRESULT Disconnect() {
    if (point_ == nullptr) return S_FALSE;
    const HRESULT hr = point_->Unadvise(cookie_);
    point_.Reset();
    return hr;
  }

 private:
  std::wstring name_;
  IID events_;
  std::vector<HeardEvent>& log_;
  ULONG refs_ = 0;
  HRESULT result_ = S_OK;
  std::function<void()> onEvent_;
  Microsoft::WRL::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};
