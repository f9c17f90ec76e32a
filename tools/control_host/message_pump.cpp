#include "tools/control_host/message_pump.h"

void PumpMessages(DWORD milliseconds, const std::function<bool()>& stop,
                  const std::function<bool(MSG&)>& translate) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (;;) {
    MSG message;
    // A steady stream of messages must not hold the loop past its time.
    while (::GetTickCount64() < deadline && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      if (!translate || !translate(message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
      if (stop && stop()) return;
    }
    if (stop && stop()) return;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return;
    // A failed wait only means another look at the queue and the clock.
    (void)::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE);
  }
}
