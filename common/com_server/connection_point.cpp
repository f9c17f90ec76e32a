#include "common/com_server/connection_point.h"

#include <algorithm>
#include <utility>

#include "common/com_server/com_module.h"

using Microsoft::WRL::ComPtr;

namespace {

// A snapshot enumerator shared by its clones; Copy hands out one item with its own reference.
template <typename Enum, typename Item, typename Held, HRESULT (*Copy)(const Held&, Item*)>
class Enumerator final : public ServerObject<Enum> {
 public:
  using Items = std::shared_ptr<const std::vector<Held>>;
  Enumerator(Items items, size_t position) : items_(std::move(items)), position_(position) {}

  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (fetched == nullptr && count != 1)) return E_POINTER;
    ULONG done = 0;
    while (done < count && position_ < items_->size()) {
      (void)Copy((*items_)[position_++], &out[done++]);
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const size_t left = items_->size() - position_;
    position_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Enum** clone) override {
    if (clone == nullptr) return E_POINTER;
    *clone = new (std::nothrow) Enumerator(items_, position_);
    return *clone ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~Enumerator() override = default;

  Items items_;
  size_t position_;
};

struct HeldConnection {
  DWORD cookie;
  ComPtr<IUnknown> sink;
};

HRESULT CopyConnection(const HeldConnection& held, CONNECTDATA* out) {
  out->dwCookie = held.cookie;
  return held.sink.CopyTo(&out->pUnk);
}

HRESULT CopyPoint(const ComPtr<IConnectionPoint>& held, IConnectionPoint** out) {
  return held.CopyTo(out);
}

using ConnectionEnumerator =
    Enumerator<IEnumConnections, CONNECTDATA, HeldConnection, &CopyConnection>;
using PointEnumerator =
    Enumerator<IEnumConnectionPoints, IConnectionPoint*, ComPtr<IConnectionPoint>, &CopyPoint>;

// Builds the shared snapshot and the enumerator over it without letting bad_alloc escape.
template <typename E, typename Enum, typename Fill>
HRESULT MakeEnumerator(Enum** out, Fill fill) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  try {
    auto items = std::make_shared<std::vector<typename E::Items::element_type::value_type>>();
    fill(*items);
    *out = new E(std::move(items), 0);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

ConnectionPoint::ConnectionPoint(ConnectionPointContainer& container, REFIID events)
    : container_(container), events_(events) {}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
  *object = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return container_.AddRef(); }

STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return container_.Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = events_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = &container_;
  container_.AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // A dispinterface's vtable is IDispatch's, so either answer is called the same way.
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
      FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  if (nextCookie_ == 0) return CONNECT_E_ADVISELIMIT;  // every cookie handed out once already
  try {
    connections_.push_back({nextCookie_, std::move(dispatch)});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  const auto found = std::find_if(connections_.begin(), connections_.end(),
                                  [cookie](const Connection& c) { return c.cookie == cookie; });
  if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
  // Released after the erase: a sink's destructor may call back into this point.
  const ComPtr<IDispatch> sink = std::move(found->sink);
  connections_.erase(found);
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  return MakeEnumerator<ConnectionEnumerator>(connections, [this](auto& items) {
    for (const Connection& c : connections_) items.push_back({c.cookie, c.sink});
  });
}

HRESULT ConnectionPoint::Invoke(DISPID id, DISPPARAMS& params, ScopedVariant& answer) {
  answer.Reset();
  // A handler may drop the client's last reference to the source mid-round.
  const ComPtr<IConnectionPointContainer> keep_alive(&container_);
  std::vector<ComPtr<IDispatch>> sinks;
  try {
    sinks.reserve(connections_.size());
    for (const Connection& c : connections_) sinks.push_back(c.sink);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (const ComPtr<IDispatch>& sink : sinks) {
    // One sink's failure is its own; the others still hear the event. Whatever a failing sink
    // left in its result is no answer.
    if (FAILED(sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                            answer.Receive(), nullptr, nullptr))) {
      answer.Reset();
    }
  }
  return S_OK;
}

bool EventAllows(const VARIANT& answer) {
  return answer.vt != VT_BOOL || answer.boolVal != VARIANT_FALSE;
}

HRESULT MakeEventArgument(const wchar_t* text, ScopedVariant& argument) {
  argument.Reset();
  VARIANT* raw = argument.Pointer();
  raw->bstrVal = text ? ::SysAllocString(text) : nullptr;  // a null BSTR is the empty string
  if (text != nullptr && raw->bstrVal == nullptr) return E_OUTOFMEMORY;
  raw->vt = VT_BSTR;
  return S_OK;
}

HRESULT MakeEventArgument(LONG number, ScopedVariant& argument) {
  argument = ScopedVariant(number);
  return S_OK;
}

HRESULT MakeEventArgument(bool flag, ScopedVariant& argument) {
  argument.Reset();
  argument.Pointer()->vt = VT_BOOL;
  argument.Pointer()->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT MakeEventArgument(const VARIANT& value, ScopedVariant& argument) {
  return argument.CopyFrom(value);
}

HRESULT ConnectionPointContainer::AddConnectionPoint(REFIID events) {
  if (Point(events) != nullptr) return S_OK;
  auto point = std::unique_ptr<ConnectionPoint>(new (std::nothrow) ConnectionPoint(*this, events));
  if (!point) return E_OUTOFMEMORY;
  try {
    points_.push_back(std::move(point));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

ConnectionPoint* ConnectionPointContainer::Point(REFIID events) {
  for (const auto& point : points_) {
    if (point->Events() == events) return point.get();
  }
  return nullptr;
}

STDMETHODIMP ConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return MakeEnumerator<PointEnumerator>(points, [this](auto& items) {
    for (const auto& point : points_) items.emplace_back(point.get());
  });
}

STDMETHODIMP ConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  ConnectionPoint* found = Point(riid);
  if (found == nullptr) return CONNECT_E_NOCONNECTION;
  *point = found;
  found->AddRef();
  return S_OK;
}
