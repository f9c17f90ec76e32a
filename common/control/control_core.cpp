#include "common/control/control_core.h"

#include "common/control/property_table.h"

using Microsoft::WRL::ComPtr;

ControlCore::~ControlCore() = default;  // a window still there is unlinked, then destroyed

void ControlCore::EndWork() {
  window_.Destroy();
  RunTeardown();
}

void ControlCore::RunTeardown() {
  if (tornDown_) return;
  tornDown_ = true;
  OnTeardown();
}

void ControlCore::Configure(const ControlClass& description) {
  class_ = &description;
  extent_ = PixelsToHimetric(description.naturalPixels);
}

HRESULT ControlCore::OnTranslateAccelerator(MSG* message) {
  ComPtr<IOleControlSite> control_site;
  if (clientSite_ == nullptr || FAILED(clientSite_.As(&control_site))) return S_FALSE;
  DWORD modifiers = 0;
  if (::GetKeyState(VK_SHIFT) < 0) modifiers |= 1;    // KEYMOD_SHIFT
  if (::GetKeyState(VK_CONTROL) < 0) modifiers |= 2;  // KEYMOD_CONTROL
  if (::GetKeyState(VK_MENU) < 0) modifiers |= 4;     // KEYMOD_ALT
  return control_site->TranslateAccelerator(message, modifiers);
}

HRESULT ControlCore::SetSite(IOleClientSite* site) {
  clientSite_ = site;
  return S_OK;
}

HRESULT ControlCore::Dispatch(IDispatch** dispatch) {
  return ControlUnknown()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch));
}

HRESULT ControlCore::CopyClassId(CLSID* clsid) const {
  if (clsid == nullptr) return E_POINTER;
  *clsid = *Class().clsid;
  return S_OK;
}

HRESULT ControlCore::LoadProperties(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  ComPtr<IDispatch> control;
  const HRESULT result = Dispatch(&control);
  if (FAILED(result)) return result;
  return PropertyTable(Class().properties, control.Get(), extent_)
      .LoadFromStream(stream, Class().streamVersion);
}

HRESULT ControlCore::SaveProperties(IStream* stream, bool clear_dirty) {
  if (stream == nullptr) return E_POINTER;
  ComPtr<IDispatch> control;
  HRESULT result = Dispatch(&control);
  if (FAILED(result)) return result;
  result = PropertyTable(Class().properties, control.Get(), extent_)
               .SaveToStream(stream, Class().streamVersion);
  if (SUCCEEDED(result) && clear_dirty) dirty_ = false;
  return result;
}

HRESULT ControlCore::LoadProperties(IPropertyBag* bag, IErrorLog* log) {
  if (bag == nullptr) return E_POINTER;
  ComPtr<IDispatch> control;
  const HRESULT result = Dispatch(&control);
  if (FAILED(result)) return result;
  return PropertyTable(Class().properties, control.Get(), extent_).LoadFromBag(bag, log);
}

HRESULT ControlCore::SaveProperties(IPropertyBag* bag, bool clear_dirty) {
  if (bag == nullptr) return E_POINTER;
  ComPtr<IDispatch> control;
  HRESULT result = Dispatch(&control);
  if (FAILED(result)) return result;
  result = PropertyTable(Class().properties, control.Get(), extent_).SaveToBag(bag);
  if (SUCCEEDED(result) && clear_dirty) dirty_ = false;
  return result;
}

HRESULT ControlCore::InPlaceActivate(LONG verb) {
  if (clientSite_ == nullptr) return E_UNEXPECTED;
  if (!inPlaceActive_) {
    ComPtr<IOleInPlaceSite> site;
    if (FAILED(clientSite_.As(&site))) return E_FAIL;
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    HRESULT result = site->OnInPlaceActivate();
    if (FAILED(result)) return result;
    inPlaceSite_ = site;
    inPlaceActive_ = true;

    RECT position = {};
    RECT clip = {};
    OLEINPLACEFRAMEINFO frame_info = {sizeof(frame_info)};
    HWND parent = nullptr;
    frame_.Reset();
    uiWindow_.Reset();
    result = site->GetWindowContext(&frame_, &uiWindow_, &position, &clip, &frame_info);
    if (SUCCEEDED(result)) result = site->GetWindow(&parent);
    if (SUCCEEDED(result)) result = CreateControlWindow(parent, position);
    if (FAILED(result)) {
      (void)InPlaceDeactivate();
      return result;
    }
  }
  if ((verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY) && !uiActive_) {
    uiActive_ = true;
    (void)inPlaceSite_->OnUIActivate();  // the site only learns of it
    ComPtr<IOleInPlaceActiveObject> active;
    (void)ControlUnknown()->QueryInterface(IID_PPV_ARGS(&active));  // optional for a control
    if (frame_ != nullptr) (void)frame_->SetActiveObject(active.Get(), nullptr);
    if (uiWindow_ != nullptr) (void)uiWindow_->SetActiveObject(active.Get(), nullptr);
    if (frame_ != nullptr) (void)frame_->SetBorderSpace(nullptr);
    if (Window() != nullptr && ::GetFocus() != Window()) ::SetFocus(Window());
  }
  if (Window() != nullptr) ::ShowWindow(Window(), SW_SHOW);
  return S_OK;
}

HRESULT ControlCore::UIDeactivate() {
  if (!uiActive_) return S_OK;
  uiActive_ = false;
  if (frame_ != nullptr) (void)frame_->SetActiveObject(nullptr, nullptr);
  if (uiWindow_ != nullptr) (void)uiWindow_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_ != nullptr) (void)inPlaceSite_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT ControlCore::InPlaceDeactivate() {
  if (!inPlaceActive_) return S_OK;
  (void)UIDeactivate();
  inPlaceActive_ = false;
  window_.Destroy();
  ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
  frame_.Reset();
  uiWindow_.Reset();
  if (site != nullptr) (void)site->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT ControlCore::SetObjectRects(const RECT* position, const RECT* clip) {
  if (position == nullptr || clip == nullptr) return E_POINTER;
  position_ = *position;
  if (Window() != nullptr) {
    ::SetWindowPos(Window(), nullptr, position->left, position->top,
                   position->right - position->left, position->bottom - position->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return S_OK;
}

HRESULT ControlCore::SetExtent(const SIZEL& extent) {
  if (extent.cx < 0 || extent.cy < 0) return E_INVALIDARG;
  if (extent.cx != extent_.cx || extent.cy != extent_.cy) dirty_ = true;
  extent_ = extent;
  return S_OK;
}

void ControlCore::FireViewChange() {
  if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, TRUE);
  if (viewSink_ != nullptr) {
    viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
    if (viewSinkFlags_ & ADVF_ONLYONCE) viewSink_.Reset();
  }
}

HRESULT ControlCore::CreateControlWindow(HWND parent, const RECT& position) {
  position_ = position;
  tornDown_ = false;
  // WM_CREATE reaches the control before Create returns; it may run for long.
  return window_.Create({Class().windowClass, Class().windowClassStyle, Class().background}, parent,
                        position, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
}

bool ControlCore::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_DESTROY) RunTeardown();
  return ProcessMessage(message, wParam, lParam, result) ||
         StandardMessage(message, wParam, lParam, result);
}

bool ControlCore::StandardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  (void)wParam;
  (void)lParam;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(Window(), &paint);
      if (dc != nullptr) {
        RECT client = {};
        ::GetClientRect(Window(), &client);
        (void)OnDraw(dc, client);
        ::EndPaint(Window(), &paint);
      }
      result = 0;
      return true;
    }
    case WM_MOUSEACTIVATE:
      // A click makes the control the UI-active one, as in any container.
      if (!uiActive_) (void)InPlaceActivate(OLEIVERB_UIACTIVATE);
      return false;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      ComPtr<IOleControlSite> control_site;
      if (clientSite_ != nullptr && SUCCEEDED(clientSite_.As(&control_site))) {
        (void)control_site->OnFocus(message == WM_SETFOCUS);
      }
      return false;
    }
    default:
      return false;
  }
}
