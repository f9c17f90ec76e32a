#include "tests/win/control_host/fake_control.h"

#include <utility>

#include "common/com_server/variant.h"

// The probe's GUIDs are defined here, once.
#include <initguid.h>

#include "probe_events.h"

using Microsoft::WRL::ComPtr;

// IPersistStreamInit of the fake, apart so that its InitNew can be told from the bag's.
class FakeControl::StreamInit final : public IPersistStreamInit {
 public:
  explicit StreamInit(FakeControl& owner) : owner_(owner) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object != nullptr && riid == IID_IPersistStreamInit) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return owner_.QueryInterface(riid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    ++refs_;
    return owner_.AddRef();
  }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG owner_refs = owner_.Release();
    if (--refs_ == 0) delete this;
    return owner_refs;
  }
  STDMETHODIMP GetClassID(CLSID* clsid) override { return owner_.GetClassID(clsid); }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP InitNew() override {
    owner_.Record("StreamInit::InitNew");
    return S_OK;
  }

 private:
  FakeControl& owner_;
  ULONG refs_ = 0;
};

FakeControl::FakeControl(Options options, ComPtr<ITypeInfo> class_info)
    : options_(options), classInfo_(std::move(class_info)), events_(DIID_DEventProbeEvents) {
  (void)AddConnectionPoint(events_);
}

FakeControl::~FakeControl() {
  if (window_) ::DestroyWindow(window_);
}

STDMETHODIMP FakeControl::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IPersistStreamInit) {
    if (!options_.stream_init) return E_NOINTERFACE;
    auto* tear_off = new StreamInit(*this);
    tear_off->AddRef();
    *object = static_cast<IPersistStreamInit*>(tear_off);
    return S_OK;
  }
  if (riid == IID_IPersistPropertyBag && !options_.property_bag) return E_NOINTERFACE;
  if ((riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) && !classInfo_) {
    return E_NOINTERFACE;
  }
  if (riid == IID_IProvideClassInfo) {
    *object = static_cast<IProvideClassInfo2*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_IOleWindow) {
    *object = static_cast<IOleInPlaceObject*>(this);
    AddRef();
    return S_OK;
  }
  return CComObject::QueryInterface(riid, object);
}

STDMETHODIMP FakeControl::SetClientSite(IOleClientSite* site) {
  Record(site ? "SetClientSite(site)" : "SetClientSite(null)");
  site_ = site;
  return S_OK;
}

STDMETHODIMP FakeControl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  return site_.CopyTo(site);
}

STDMETHODIMP FakeControl::Close(DWORD save) {
  Record("Close(" + std::to_string(save) + ") sinks=" + std::to_string(Sinks()));
  return S_OK;
}

STDMETHODIMP FakeControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                 LPCRECT rect) {
  Record("DoVerb(" + std::to_string(verb) + ")");
  verbParent_ = parent;
  if (rect) verbRect_ = *rect;
  if (FAILED(options_.verb_result)) return options_.verb_result;
  if (verb != OLEIVERB_INPLACEACTIVATE || site == nullptr) return E_NOTIMPL;
  ComPtr<IOleInPlaceSite> in_place;
  HRESULT result = site->QueryInterface(IID_PPV_ARGS(&in_place));
  if (FAILED(result)) return result;
  if (in_place->CanInPlaceActivate() != S_OK) return OLEOBJ_S_CANNOT_DOVERB_NOW;
  result = in_place->OnInPlaceActivate();
  if (FAILED(result)) return result;
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT clip = {};
  OLEINPLACEFRAMEINFO info = {sizeof(info)};
  result = in_place->GetWindowContext(&frame, &document, &contextRect_, &clip, &info);
  if (FAILED(result)) return result;
  HWND window_parent = nullptr;
  result = in_place->GetWindow(&window_parent);
  if (FAILED(result)) return result;
  window_ = ::CreateWindowExW(
      0, L"STATIC", L"fake control", WS_CHILD | WS_VISIBLE, contextRect_.left, contextRect_.top,
      contextRect_.right - contextRect_.left, contextRect_.bottom - contextRect_.top, window_parent,
      nullptr, nullptr, nullptr);
  inPlaceSite_ = in_place;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP FakeControl::GetMiscStatus(DWORD, DWORD* status) {
  Record("GetMiscStatus");
  if (status == nullptr) return E_POINTER;
  *status = options_.misc;
  return S_OK;
}

STDMETHODIMP FakeControl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP FakeControl::InPlaceDeactivate() {
  Record("InPlaceDeactivate");
  if (window_) {
    ::DestroyWindow(window_);
    window_ = nullptr;
  }
  if (inPlaceSite_) {
    (void)inPlaceSite_->OnInPlaceDeactivate();
    inPlaceSite_.Reset();
  }
  return S_OK;
}

STDMETHODIMP FakeControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  Record("SetObjectRects " + std::to_string(position->right - position->left) + "x" +
         std::to_string(position->bottom - position->top));
  return S_OK;
}

STDMETHODIMP FakeControl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_EventProbe;
  return S_OK;
}

STDMETHODIMP FakeControl::InitNew() {
  Record("PropertyBag::InitNew");
  return S_OK;
}

STDMETHODIMP FakeControl::Load(IPropertyBag* bag, IErrorLog*) {
  Record("PropertyBag::Load");
  if (bag == nullptr) return E_POINTER;
  ScopedVariant url;
  url.Pointer()->vt = VT_BSTR;
  url.Pointer()->bstrVal = nullptr;  // what a failed Read leaves is then safe to clear
  if (SUCCEEDED(bag->Read(L"XMLUrl", url.Pointer(), nullptr))) xmlUrl_ = url.Get().bstrVal;
  ScopedVariant count;
  count.Pointer()->vt = VT_I4;
  if (SUCCEEDED(bag->Read(L"Count", count.Pointer(), nullptr))) count_ = count.Get().lVal;
  return options_.load_result;
}

STDMETHODIMP FakeControl::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  return classInfo_.CopyTo(info);
}

STDMETHODIMP FakeControl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = events_;
  return S_OK;
}
