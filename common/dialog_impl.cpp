#include "dialog_impl.h"

INT_PTR CDialogImpl::DoModal(HINSTANCE instance, HWND parent) {
  instance_ = instance;
  return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId_), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool CDialogImpl::ProcessMessage(UINT uMsg, WPARAM, LPARAM, LRESULT& lResult) {
  switch (uMsg) {
    case WM_INITDIALOG:
      OnInitDialog();
      lResult = TRUE;  // let the system set the focus
      return true;
    case WM_DESTROY:
      OnDestroy();
      lResult = 0;
      return true;
    default:
      return false;
  }
}

INT_PTR CALLBACK CDialogImpl::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialogImpl*>(lParam);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
  }
  auto* self = reinterpret_cast<CDialogImpl*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  LRESULT result = 0;
  const bool handled = self->ProcessMessage(msg, wParam, lParam, result);
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  if (!handled) return FALSE;
  // Messages that return a value of their own (rather than through DWLP_MSGRESULT).
  switch (msg) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return static_cast<INT_PTR>(result);
    default:
      ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
