#include "common/window/nested_message_loop.h"

#include <cwchar>

namespace {

// The top-level window of the message's target, when it is a dialog.
HWND DialogOf(HWND window) {
  if (window == nullptr) return nullptr;
  HWND root = ::GetAncestor(window, GA_ROOT);
  wchar_t className[16] = {};
  if (root == nullptr || ::GetClassNameW(root, className, 16) == 0) return nullptr;
  return std::wcscmp(className, L"#32770") == 0 ? root : nullptr;
}

}  // namespace

CNestedMessageLoop::~CNestedMessageLoop() {
  if (quitCode_) ::PostQuitMessage(static_cast<int>(*quitCode_));
}

bool CNestedMessageLoop::HandleOne() {
  if (quitCode_) return false;
  MSG message;
  if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return true;
  if (message.message == WM_QUIT) {
    quitCode_ = message.wParam;
    return false;
  }
  const HWND dialog = DialogOf(message.hwnd);
  if (dialog != nullptr && ::IsDialogMessageW(dialog, &message)) return true;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
  return true;
}

bool CNestedMessageLoop::HandleAll() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (!HandleOne()) return false;
  }
  return !quitCode_;
}

DWORD CNestedMessageLoop::Wait(HANDLE object, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    const DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    if (quitCode_ || left == 0) return ::WaitForSingleObject(object, left);
    const DWORD woken = ::MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) return woken;  // signalled, timed out or failed
    (void)HandleAll();                             // a quit request is kept; the wait goes on
  }
}
