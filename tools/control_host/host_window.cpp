#include "host_window.h"

#include "common/win_error.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr wchar_t kClassName[] = L"KoviraControlHost";

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace

HRESULT CHostWindow::Create(HWND parent, const wchar_t* title, int width, int height) {
  if (window_) return E_UNEXPECTED;
  WNDCLASSEXW window_class = {sizeof(window_class)};
  window_class.lpfnWndProc = &CHostWindow::WindowProc;
  window_class.hInstance = ThisModule();
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kClassName;
  if (!::RegisterClassExW(&window_class) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return HResultFromLastError();
  }
  const DWORD style = (parent ? WS_CHILD : WS_OVERLAPPEDWINDOW) | WS_CLIPCHILDREN;
  RECT frame = {0, 0, width, height};
  (void)::AdjustWindowRectEx(&frame, style, FALSE, 0);  // without it the client area is smaller
  const HWND window = ::CreateWindowExW(0, kClassName, title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                        frame.right - frame.left, frame.bottom - frame.top,
                                        parent, nullptr, ThisModule(), this);
  if (window == nullptr) return HResultFromLastError();
  window_.Reset(window);
  return S_OK;
}

LRESULT CALLBACK CHostWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                         LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<CHostWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case WM_SIZE: {
        RECT client = {0, 0, LOWORD(lparam), HIWORD(lparam)};
        if (self->resized_) self->resized_(client);
        return 0;
      }
      case WM_NCDESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    }
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}
