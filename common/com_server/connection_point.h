#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "common/com_server/variant.h"

class ConnectionPointContainer;

// The connections of one outgoing dispinterface. It lives inside its container and counts
// references on it, so a client holding a point keeps the whole object alive.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(ConnectionPointContainer& container, REFIID events);
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  ~ConnectionPoint() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

  REFIID Events() const { return events_; }
  size_t Connections() const { return connections_.size(); }

  // DISPATCH_METHOD on every sink, in the order they connected. Sinks are called from a copy
  // of the list, so one that fails or unadvises (itself or another) cannot cut the round short.
  // Each sink gets a fresh VT_EMPTY result; answer ends up holding the result of the last sink
  // called (VT_EMPTY when there was none, or when that sink failed), earlier ones are dropped.
  HRESULT Invoke(DISPID id, DISPPARAMS& params, ScopedVariant& answer);

 private:
  struct Connection {
    DWORD cookie;
    Microsoft::WRL::ComPtr<IDispatch> sink;
  };

  ConnectionPointContainer& container_;
  IID events_;
  std::vector<Connection> connections_;
  DWORD nextCookie_ = 1;  // 0 is never a valid cookie
};

// One event argument as a VARIANT: text as a BSTR, integers as VT_I4, bool as VT_BOOL,
// a VARIANT copied.
HRESULT MakeEventArgument(const wchar_t* text, ScopedVariant& argument);
HRESULT MakeEventArgument(LONG number, ScopedVariant& argument);
HRESULT MakeEventArgument(bool flag, ScopedVariant& argument);
HRESULT MakeEventArgument(const VARIANT& value, ScopedVariant& argument);
inline HRESULT MakeEventArgument(int number, ScopedVariant& argument) {
  return MakeEventArgument(static_cast<LONG>(number), argument);
}

// Whether an event's answer lets the source go on: only a VT_BOOL VARIANT_FALSE says no; any
// other value, or none (VT_EMPTY: no sink, or a sink that returned nothing), allows.
bool EventAllows(const VARIANT& answer);

// IConnectionPointContainer with one point per outgoing dispinterface, added at construction:
//   class CThing : public ServerObject<TypeInfoDispatch<IThing>, ConnectionPointContainer> {
//     CThing() { AddConnectionPoint(DIID_DThingEvents); }
//     ... Fire(1, L"text", 5L);
//     ScopedVariant answer;
//     (void)FireForAnswer(answer, 2, L"question");
//     if (!EventAllows(answer.Get())) return S_FALSE;  // a handler said no
class ConnectionPointContainer : public IConnectionPointContainer {
 public:
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  ConnectionPointContainer(const ConnectionPointContainer&) = delete;
  ConnectionPointContainer& operator=(const ConnectionPointContainer&) = delete;

 protected:
  ConnectionPointContainer() = default;
  ~ConnectionPointContainer() = default;

  // Fails only for lack of memory; FindConnectionPoint then reports the interface as missing.
  HRESULT AddConnectionPoint(REFIID events);

  // The point of an outgoing interface; null when the object has none.
  ConnectionPoint* Point(REFIID events);

  // Raises event id on the first outgoing interface, the arguments in source order, for events
  // whose handlers answer nothing.
  template <typename... Args>
  HRESULT Fire(DISPID id, const Args&... args) {
    ScopedVariant ignored;
    return FireForAnswer(ignored, id, args...);
  }

  // The same, keeping the answer: the result of the last sink called (see ConnectionPoint::
  // Invoke). answer is emptied first and stays VT_EMPTY when no sink is connected or the event
  // cannot be raised; EventAllows reads it.
  template <typename... Args>
  HRESULT FireForAnswer(ScopedVariant& answer, DISPID id, const Args&... args) {
    answer.Reset();
    if (points_.empty()) return E_UNEXPECTED;
    return FireOnForAnswer(answer, points_.front()->Events(), id, args...);
  }

  // Fire and FireForAnswer on a given outgoing interface.
  template <typename... Args>
  HRESULT FireOn(REFIID events, DISPID id, const Args&... args) {
    ScopedVariant ignored;
    return FireOnForAnswer(ignored, events, id, args...);
  }

  template <typename... Args>
  HRESULT FireOnForAnswer(ScopedVariant& answer, REFIID events, DISPID id, const Args&... args) {
    answer.Reset();
    ConnectionPoint* point = Point(events);
    if (point == nullptr) return CONNECT_E_NOCONNECTION;
    if (point->Connections() == 0) return S_OK;
    constexpr size_t kCount = sizeof...(Args);
    ScopedVariant values[kCount + 1];  // + 1: no zero-length array for an event without arguments
    size_t next = 0;
    HRESULT result = S_OK;
    ((SUCCEEDED(result) ? (void)(result = MakeEventArgument(args, values[next++])) : (void)0), ...);
    if (FAILED(result)) return result;
    // DISPPARAMS carries the arguments last first.
    VARIANTARG packed[kCount + 1] = {};
    for (size_t i = 0; i < kCount; ++i) packed[kCount - 1 - i] = values[i].Get();
    DISPPARAMS params = {packed, nullptr, static_cast<UINT>(kCount), 0};
    return point->Invoke(id, params, answer);
  }

 private:
  std::vector<std::unique_ptr<ConnectionPoint>> points_;
};
__CRT_UUID_DECL(ConnectionPointContainer, 0xb196b284, 0xbab4, 0x101a, 0xb6, 0x9c, 0x00, 0xaa, 0x00,
                0x34, 0x1d, 0x07)
