#include "common/window/window_impl.h"

#include <commctrl.h>

#include <mutex>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/win_error.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x4B56;  // one subclass of ours per window

std::mutex g_classes_lock;
std::vector<std::wstring> g_registered_classes;

HRESULT EnsureRegistered(const WindowClass& window_class, WNDPROC procedure) {
  const std::lock_guard<std::mutex> lock(g_classes_lock);
  for (const auto& name : g_registered_classes) {
    if (name == window_class.name) return S_OK;
  }
  WNDCLASSEXW description = {sizeof(description)};
  description.style = window_class.style;
  description.lpfnWndProc = procedure;
  description.hInstance = ThisModule();
  description.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  description.hbrBackground = window_class.background;
  description.lpszClassName = window_class.name;
  if (::RegisterClassExW(&description) == 0) return HResultFromLastError();
  g_registered_classes.emplace_back(window_class.name);
  return S_OK;
}

}  // namespace

CWindowImpl::~CWindowImpl() {
  if (window_ == nullptr) return;
  const HWND window = window_;
  const bool made_here = !subclassed_;
  Unlink();
  if (made_here) ::DestroyWindow(window);
}

void CWindowImpl::UnregisterClasses() {
  const std::lock_guard<std::mutex> lock(g_classes_lock);
  for (const auto& name : g_registered_classes) {
    (void)::UnregisterClassW(name.c_str(), ThisModule());  // fails while a window still uses it
  }
  g_registered_classes.clear();
}

HRESULT CWindowImpl::Create(const WindowClass& window_class, HWND parent, const RECT& position,
                            const wchar_t* title, DWORD style, DWORD ex_style, UINT id) {
  if (window_ != nullptr) return E_UNEXPECTED;
  HRESULT result = EnsureRegistered(window_class, &CWindowImpl::WindowProc);
  if (FAILED(result)) return result;
  const HWND window = ::CreateWindowExW(
      ex_style, window_class.name, title != nullptr ? title : L"", style, position.left,
      position.top, position.right - position.left, position.bottom - position.top, parent,
      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ThisModule(), this);
  if (window == nullptr) {
    result = HResultFromLastError();
    // A window refused during its creation has been destroyed already, and unlinked with it.
    window_ = nullptr;
    return result;
  }
  return S_OK;
}

HRESULT CWindowImpl::Subclass(HWND window) {
  if (window_ != nullptr) return E_UNEXPECTED;
  if (window == nullptr) return E_INVALIDARG;
  if (!::SetWindowSubclass(window, &CWindowImpl::SubclassProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this))) {
    return E_FAIL;
  }
  window_ = window;
  subclassed_ = true;
  return S_OK;
}

void CWindowImpl::Unsubclass() {
  if (subclassed_) Unlink();
}

void CWindowImpl::Destroy() {
  if (window_ != nullptr) ::DestroyWindow(window_);  // WM_NCDESTROY cuts the link
}

void CWindowImpl::Unlink() {
  if (window_ == nullptr) return;
  if (subclassed_) {
    ::RemoveWindowSubclass(window_, &CWindowImpl::SubclassProc, kSubclassId);
  } else {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  }
  window_ = nullptr;
  subclassed_ = false;
}

LRESULT CWindowImpl::DefaultProcessing(UINT message, WPARAM wparam, LPARAM lparam) {
  return subclassed_ ? ::DefSubclassProc(window_, message, wparam, lparam)
                     : ::DefWindowProcW(window_, message, wparam, lparam);
}

LRESULT CWindowImpl::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCDESTROY) {
    const LRESULT result = DefaultProcessing(message, wparam, lparam);
    Unlink();
    OnFinalMessage();  // may delete this
    return result;
  }
  LRESULT result = 0;
  if (ProcessMessage(message, wparam, lparam, result)) return result;
  return DefaultProcessing(message, wparam, lparam);
}

LRESULT CALLBACK CWindowImpl::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<CWindowImpl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<CWindowImpl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages before WM_NCCREATE, and after the object let go of the window.
  if (self == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->Dispatch(message, wparam, lparam);
}

LRESULT CALLBACK CWindowImpl::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                           UINT_PTR, DWORD_PTR self) {
  auto* object = reinterpret_cast<CWindowImpl*>(self);
  if (object == nullptr || object->window_ != window) {
    return ::DefSubclassProc(window, message, wparam, lparam);
  }
  return object->Dispatch(message, wparam, lparam);
}
