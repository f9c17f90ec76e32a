#include "control_core.h"

#include <mutex>
#include <string>
#include <vector>

#include "common/com_server/com_module.h"
#include "property_table.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kHimetricPerInch = 2540;

struct ScreenDpi {
  int x = 96;
  int y = 96;
};

ScreenDpi QueryScreenDpi() {
  ScreenDpi dpi;
  HDC screen = ::GetDC(nullptr);
  if (screen != nullptr) {
    dpi.x = ::GetDeviceCaps(screen, LOGPIXELSX);
    dpi.y = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  return dpi;
}

// Classes this module registered, so that they can be taken back before it unloads.
std::mutex g_classes_lock;
std::vector<std::wstring> g_registered_classes;

// Window classes registered here hold the DLL's window procedure: they must go with the DLL.
void UnregisterControlWindowClasses() {
  const std::lock_guard<std::mutex> lock(g_classes_lock);
  for (const auto& name : g_registered_classes) {
    (void)::UnregisterClassW(name.c_str(), ComModule::Instance());  // a window may still use it
  }
  g_registered_classes.clear();
}

bool EnsureWindowClass(const ControlClass& description, WNDPROC procedure) {
  const std::lock_guard<std::mutex> lock(g_classes_lock);
  for (const auto& name : g_registered_classes) {
    if (name == description.windowClass) return true;
  }
  WNDCLASSEXW window_class = {sizeof(window_class)};
  window_class.style = description.windowClassStyle;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = ComModule::Instance();
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = description.background;
  window_class.lpszClassName = description.windowClass;
  if (::RegisterClassExW(&window_class) == 0) return false;
  g_registered_classes.emplace_back(description.windowClass);
  ComModule::AtUnload(&UnregisterControlWindowClasses);  // Windows keeps a DLL's classes
  return true;
}

}  // namespace

SIZEL PixelsToHimetric(SIZE pixels) {
  const ScreenDpi dpi = QueryScreenDpi();
  return {::MulDiv(pixels.cx, kHimetricPerInch, dpi.x), ::MulDiv(pixels.cy, kHimetricPerInch, dpi.y)};
}

ControlCore::~ControlCore() {
  if (window_ != nullptr) {
    // The object is going: its window must not reach it any more.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
}

void ControlCore::Configure(const ControlClass& description) {
  class_ = &description;
  extent_ = PixelsToHimetric(description.naturalPixels);
}

HRESULT ControlCore::OnTranslateAccelerator(MSG* message) {
  ComPtr<IOleControlSite> control_site;
  if (client_site_ == nullptr || FAILED(client_site_.As(&control_site))) return S_FALSE;
  DWORD modifiers = 0;
  if (::GetKeyState(VK_SHIFT) < 0) modifiers |= 1;  // KEYMOD_SHIFT
  if (::GetKeyState(VK_CONTROL) < 0) modifiers |= 2;  // KEYMOD_CONTROL
  if (::GetKeyState(VK_MENU) < 0) modifiers |= 4;  // KEYMOD_ALT
  return control_site->TranslateAccelerator(message, modifiers);
}

HRESULT ControlCore::SetSite(IOleClientSite* site) {
  client_site_ = site;
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
  if (client_site_ == nullptr) return E_UNEXPECTED;
  if (!in_place_active_) {
    ComPtr<IOleInPlaceSite> site;
    if (FAILED(client_site_.As(&site))) return E_FAIL;
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    HRESULT result = site->OnInPlaceActivate();
    if (FAILED(result)) return result;
    in_place_site_ = site;
    in_place_active_ = true;

    RECT position = {};
    RECT clip = {};
    OLEINPLACEFRAMEINFO frame_info = {sizeof(frame_info)};
    HWND parent = nullptr;
    frame_.Reset();
    ui_window_.Reset();
    result = site->GetWindowContext(&frame_, &ui_window_, &position, &clip, &frame_info);
    if (SUCCEEDED(result)) result = site->GetWindow(&parent);
    if (SUCCEEDED(result)) result = CreateControlWindow(parent, position);
    if (FAILED(result)) {
      (void)InPlaceDeactivate();
      return result;
    }
  }
  if ((verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY) && !ui_active_) {
    ui_active_ = true;
    (void)in_place_site_->OnUIActivate();  // the site only learns of it
    ComPtr<IOleInPlaceActiveObject> active;
    (void)ControlUnknown()->QueryInterface(IID_PPV_ARGS(&active));  // optional for a control
    if (frame_ != nullptr) (void)frame_->SetActiveObject(active.Get(), nullptr);
    if (ui_window_ != nullptr) (void)ui_window_->SetActiveObject(active.Get(), nullptr);
    if (frame_ != nullptr) (void)frame_->SetBorderSpace(nullptr);
    if (window_ != nullptr && ::GetFocus() != window_) ::SetFocus(window_);
  }
  if (window_ != nullptr) ::ShowWindow(window_, SW_SHOW);
  return S_OK;
}

HRESULT ControlCore::UIDeactivate() {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (frame_ != nullptr) (void)frame_->SetActiveObject(nullptr, nullptr);
  if (ui_window_ != nullptr) (void)ui_window_->SetActiveObject(nullptr, nullptr);
  if (in_place_site_ != nullptr) (void)in_place_site_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT ControlCore::InPlaceDeactivate() {
  if (!in_place_active_) return S_OK;
  (void)UIDeactivate();
  in_place_active_ = false;
  if (window_ != nullptr) {
    HWND window = window_;
    ::DestroyWindow(window);  // WM_NCDESTROY forgets it
    window_ = nullptr;
  }
  ComPtr<IOleInPlaceSite> site = std::move(in_place_site_);
  frame_.Reset();
  ui_window_.Reset();
  if (site != nullptr) (void)site->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT ControlCore::SetObjectRects(const RECT* position, const RECT* clip) {
  if (position == nullptr || clip == nullptr) return E_POINTER;
  position_ = *position;
  if (window_ != nullptr) {
    ::SetWindowPos(window_, nullptr, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
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
  if (window_ != nullptr) ::InvalidateRect(window_, nullptr, TRUE);
  if (view_sink_ != nullptr) {
    view_sink_->OnViewChange(DVASPECT_CONTENT, -1);
    if (view_sink_flags_ & ADVF_ONLYONCE) view_sink_.Reset();
  }
}

HRESULT ControlCore::CreateControlWindow(HWND parent, const RECT& position) {
  if (!EnsureWindowClass(Class(), &ControlCore::WindowProc)) return HRESULT_FROM_WIN32(::GetLastError());
  position_ = position;
  // WM_CREATE reaches the control before CreateWindowExW returns; it may run for long.
  HWND window = ::CreateWindowExW(
      0, Class().windowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, position.left,
      position.top, position.right - position.left, position.bottom - position.top, parent, nullptr,
      ComModule::Instance(), this);
  if (window == nullptr) return E_FAIL;
  window_ = window;
  return S_OK;
}

LRESULT CALLBACK ControlCore::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<ControlCore*>(create->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<ControlCore*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (self->window_ == window) self->window_ = nullptr;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (self->ProcessMessage(message, wParam, lParam, result)) return result;
  if (self->StandardMessage(message, wParam, lParam, result)) return result;
  return ::DefWindowProcW(window, message, wParam, lParam);
}

bool ControlCore::StandardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  (void)wParam;
  (void)lParam;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window_, &paint);
      if (dc != nullptr) {
        RECT client = {};
        ::GetClientRect(window_, &client);
        (void)OnDraw(dc, client);
        ::EndPaint(window_, &paint);
      }
      result = 0;
      return true;
    }
    case WM_MOUSEACTIVATE:
      // A click makes the control the UI-active one, as in any container.
      if (!ui_active_) (void)InPlaceActivate(OLEIVERB_UIACTIVATE);
      return false;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      ComPtr<IOleControlSite> control_site;
      if (client_site_ != nullptr && SUCCEEDED(client_site_.As(&control_site))) {
        (void)control_site->OnFocus(message == WM_SETFOCUS);
      }
      return false;
    }
    default:
      return false;
  }
}
