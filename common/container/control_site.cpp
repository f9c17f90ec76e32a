#include "common/container/control_site.h"

#include <olectl.h>

#include <cmath>
#include <utility>

#include "common/com_server/variant.h"
#include "common/screen_units.h"

using Microsoft::WRL::ComPtr;

namespace {

void MakeBool(bool flag, ScopedVariant& value) {
  VARIANT* raw = value.Receive();
  raw->vt = VT_BOOL;
  raw->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

// An OLE_COLOR naming a system color.
LONG SystemColor(int index) { return static_cast<LONG>(0x80000000u | static_cast<DWORD>(index)); }

struct Ambient {
  DISPID id;
  void (*make)(const std::wstring& name, ScopedVariant& value);
};

// What a browser page answers for a control it runs: user mode, live UI, no design-time marks.
const Ambient kAmbients[] = {
    {DISPID_AMBIENT_USERMODE, [](const std::wstring&, ScopedVariant& v) { MakeBool(true, v); }},
    {DISPID_AMBIENT_UIDEAD, [](const std::wstring&, ScopedVariant& v) { MakeBool(false, v); }},
    {DISPID_AMBIENT_SHOWGRABHANDLES,
     [](const std::wstring&, ScopedVariant& v) { MakeBool(false, v); }},
    {DISPID_AMBIENT_SHOWHATCHING,
     [](const std::wstring&, ScopedVariant& v) { MakeBool(false, v); }},
    // The container reflects no messages back to the control.
    {DISPID_AMBIENT_MESSAGEREFLECT,
     [](const std::wstring&, ScopedVariant& v) { MakeBool(false, v); }},
    {DISPID_AMBIENT_LOCALEID,
     [](const std::wstring&, ScopedVariant& v) {
       v = ScopedVariant(static_cast<LONG>(::GetUserDefaultLCID()));
     }},
    {DISPID_AMBIENT_DISPLAYNAME,
     [](const std::wstring& name, ScopedVariant& v) { v = ScopedVariant(name.c_str()); }},
    {DISPID_AMBIENT_BACKCOLOR,
     [](const std::wstring&, ScopedVariant& v) { v = ScopedVariant(SystemColor(COLOR_WINDOW)); }},
    {DISPID_AMBIENT_FORECOLOR,
     [](const std::wstring&, ScopedVariant& v) {
       v = ScopedVariant(SystemColor(COLOR_WINDOWTEXT));
     }},
};

}  // namespace

CControlSite::CControlSite(std::wstring name, ComPtr<IBindHost> bind_host, ComPtr<IMoniker> page)
    : name_(std::move(name)), bindHost_(std::move(bind_host)), page_(std::move(page)) {}

void CControlSite::SetWindow(HWND window) {
  window_ = window;
  frame_.Reset();
  if (window != nullptr) frame_ = MakeComObject<CInPlaceFrame>(::GetAncestor(window, GA_ROOT));
}

void CControlSite::Detach() {
  if (frame_) frame_->Clear();
  inPlace_.Reset();
  uiActive_ = false;
  object_.Reset();
}

STDMETHODIMP CControlSite::GetMoniker(DWORD, DWORD which, IMoniker** moniker) {
  if (moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  if (which != OLEWHICHMK_CONTAINER || !page_) return E_FAIL;
  return page_.CopyTo(moniker);
}

STDMETHODIMP CControlSite::GetContainer(IOleContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = nullptr;
  return E_NOINTERFACE;  // a page of one control: no container of objects to enumerate
}

STDMETHODIMP CControlSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP CControlSite::OnInPlaceActivate() {
  if (!object_) return E_UNEXPECTED;
  return object_.As(&inPlace_);
}

STDMETHODIMP CControlSite::OnInPlaceActivateEx(BOOL* no_redraw, DWORD) {
  if (no_redraw) *no_redraw = FALSE;
  return OnInPlaceActivate();
}

STDMETHODIMP CControlSite::OnUIActivate() {
  uiActive_ = true;
  return S_OK;
}

STDMETHODIMP CControlSite::GetWindowContext(IOleInPlaceFrame** frame,
                                            IOleInPlaceUIWindow** document, LPRECT position,
                                            LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
      info == nullptr) {
    return E_POINTER;
  }
  *frame = nullptr;
  *document = nullptr;  // the document window is the frame's business here: there is no other
  if (!window_) return E_FAIL;
  if (!::GetClientRect(window_, position)) return E_FAIL;
  *clip = *position;
  info->fMDIApp = FALSE;
  info->hwndFrame = ::GetAncestor(window_, GA_ROOT);
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return frame_.CopyTo(frame);
}

STDMETHODIMP CControlSite::OnUIDeactivate(BOOL) {
  uiActive_ = false;
  return S_OK;
}

STDMETHODIMP CControlSite::OnInPlaceDeactivate() {
  uiActive_ = false;
  inPlace_.Reset();
  return S_OK;
}

STDMETHODIMP CControlSite::DeactivateAndUndo() {
  if (!inPlace_) return E_UNEXPECTED;
  return inPlace_->UIDeactivate();
}

STDMETHODIMP CControlSite::OnPosRectChange(LPCRECT position) {
  if (position == nullptr) return E_POINTER;
  if (!inPlace_) return E_UNEXPECTED;
  // The page gives the control the room it asks for, unclipped.
  return inPlace_->SetObjectRects(position, position);
}

STDMETHODIMP CControlSite::GetExtendedControl(IDispatch** control) {
  if (control == nullptr) return E_POINTER;
  *control = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CControlSite::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) {
  if (himetric == nullptr || container == nullptr) return E_POINTER;
  // Positions and sizes convert alike: the container's origin is the window's.
  const SIZE dpi = ScreenPixelsPerInch();
  const float per_inch = static_cast<float>(kHimetricPerInch);
  if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
    container->x = static_cast<float>(himetric->x) * static_cast<float>(dpi.cx) / per_inch;
    container->y = static_cast<float>(himetric->y) * static_cast<float>(dpi.cy) / per_inch;
    return S_OK;
  }
  if (flags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
    himetric->x = std::lround(container->x * per_inch / static_cast<float>(dpi.cx));
    himetric->y = std::lround(container->y * per_inch / static_cast<float>(dpi.cy));
    return S_OK;
  }
  return E_INVALIDARG;
}

STDMETHODIMP CControlSite::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CControlSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CControlSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  if (ids == nullptr) return E_POINTER;
  // Controls ask for ambients by DISPID; there are no names to look up.
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CControlSite::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO*, UINT*) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  for (const Ambient& ambient : kAmbients) {
    if (ambient.id != id) continue;
    if (params != nullptr && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (result == nullptr) return E_POINTER;
    ScopedVariant value;
    ambient.make(name_, value);
    if (value.Get().vt == VT_EMPTY) return E_OUTOFMEMORY;  // the display name's copy failed
    value.Detach(result);
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP CControlSite::QueryService(REFGUID service, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (service == SID_SBindHost && bindHost_) return bindHost_->QueryInterface(riid, object);
  return E_NOINTERFACE;
}
