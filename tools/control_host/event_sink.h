#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/com_server/variant.h"

// One event as the control raised it: its DISPID, its name in the control's type library, and
// copies of its arguments in source order (first parameter first; by-reference ones as values).
struct FiredEvent {
  DISPID id = DISPID_UNKNOWN;
  std::wstring name;
  std::vector<ScopedVariant> arguments;
};

// Receives the events of an object's default source dispinterface and hands each to a handler,
// whose answer goes back to the source as the event's result.
class CEventSink final : public CComObject<IDispatch> {
 public:
  // answer comes in VT_EMPTY; what the handler leaves there is the event's result (VT_EMPTY:
  // the handler answers nothing).
  using Handler = std::function<void(const FiredEvent& event, ScopedVariant& answer)>;

  // The object's default source dispinterface and its type description: from
  // IProvideClassInfo2, else from the default source of class_info (the object's coclass).
  // E_NOINTERFACE when the object has none; *events and *info are untouched on failure.
  [[nodiscard]] static HRESULT FindDefaultSource(IUnknown* object, ITypeInfo* class_info,
                                                 IID* events, ITypeInfo** info);

  // events: the dispinterface; info: its description, where event names come from.
  CEventSink(REFIID events, Microsoft::WRL::ComPtr<ITypeInfo> info, Handler handler);

  bool Connected() const { return cookie_ != 0; }

  // Advises the object's connection point for the dispinterface.
  [[nodiscard]] HRESULT Connect(IUnknown* object);
  // Unadvises, if connected; the point and its object are let go either way.
  void Disconnect();

  // Answers the event dispinterface as well as IDispatch.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  // A DISPID the dispinterface does not describe gives DISP_E_MEMBERNOTFOUND and reaches no
  // handler; named arguments are not part of events and give DISP_E_NONAMEDARGS. Otherwise
  // *result (when given) receives the handler's answer, VT_EMPTY without a handler.
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override;

 private:
  ~CEventSink() override = default;

  IID events_;
  Microsoft::WRL::ComPtr<ITypeInfo> info_;
  Handler handler_;
  Microsoft::WRL::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};
