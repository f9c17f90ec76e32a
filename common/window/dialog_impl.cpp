#include "common/window/dialog_impl.h"

#include "common/win_error.h"

CDialogImpl::~CDialogImpl() {
  if (window_ == nullptr) return;
  const HWND window = window_;
  ::SetWindowLongPtrW(window, DWLP_USER, 0);
  window_ = nullptr;
  ::DestroyWindow(window);
}

HRESULT CDialogImpl::DoModal(HINSTANCE instance, HWND parent) {
  if (window_ != nullptr) return E_UNEXPECTED;
  instance_ = instance;
  modal_ = true;
  initialized_ = false;
  result_ = 0;
  const INT_PTR ended = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId_), parent,
                                          &CDialogImpl::DialogProc, reinterpret_cast<LPARAM>(this));
  modal_ = false;
  // DialogBoxParam's -1 means failure only when the dialog never came up.
  if (ended == -1 && !initialized_) return HResultFromLastError();
  return S_OK;
}

HRESULT CDialogImpl::Create(HINSTANCE instance, HWND parent) {
  if (window_ != nullptr) return E_UNEXPECTED;
  instance_ = instance;
  modal_ = false;
  initialized_ = false;
  result_ = 0;
  const HWND window =
      ::CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId_), parent,
                           &CDialogImpl::DialogProc, reinterpret_cast<LPARAM>(this));
  if (window == nullptr) return HResultFromLastError();
  return S_OK;
}

void CDialogImpl::Destroy() {
  if (window_ != nullptr) ::DestroyWindow(window_);  // WM_NCDESTROY cuts the link
}

bool CDialogImpl::TranslateDialogMessage(MSG& message) {
  if (window_ == nullptr || modal_) return false;
  if (message.hwnd != window_ && !::IsChild(window_, message.hwnd)) return false;
  return ::IsDialogMessageW(window_, &message) != FALSE;
}

void CDialogImpl::EndDialog(INT_PTR result) {
  result_ = result;
  if (window_ == nullptr) return;
  if (modal_) {
    ::EndDialog(window_, result);
  } else {
    ::DestroyWindow(window_);
  }
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

INT_PTR CDialogImpl::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window_, DWLP_USER, 0);
    window_ = nullptr;
    OnFinalMessage();  // may delete this
    return FALSE;
  }
  LRESULT result = 0;
  // Declined: the dialog manager's default processing runs.
  if (!ProcessMessage(message, wparam, lparam, result)) return FALSE;
  // Messages that answer through the procedure's return value rather than DWLP_MSGRESULT.
  switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return static_cast<INT_PTR>(result);
    default:
      ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

INT_PTR CALLBACK CDialogImpl::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialogImpl*>(lparam);
    self->window_ = window;
    self->initialized_ = true;
    ::SetWindowLongPtrW(window, DWLP_USER, lparam);
  }
  auto* self = reinterpret_cast<CDialogImpl*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  return self->Dispatch(message, wparam, lparam);
}
