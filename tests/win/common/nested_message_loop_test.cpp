// The loop a long step runs inside a modal one: dialog keys, quit requests, bounded waits.
#include "common/window/nested_message_loop.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/scoped_owner.h"
#include "common/window/dialog_impl.h"
#include "tests/win/common/window_test_ids.h"

namespace {

using Log = std::vector<std::wstring>;
constexpr UINT kNoted = WM_APP + 3;

class CNotingDialog : public CDialogImpl {
 public:
  explicit CNotingDialog(Log& log) : CDialogImpl(IDD_TEST_DIALOG), log_(log) {}

 protected:
  BEGIN_MSG_MAP(CNotingDialog)
  COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
  MESSAGE_HANDLER(kNoted, OnNoted)
  CHAIN_MSG_MAP(CDialogImpl)
  END_MSG_MAP()

 private:
  void OnCancel() { log_.push_back(L"cancel"); }
  LRESULT OnNoted(WPARAM, LPARAM) {
    log_.push_back(L"noted");
    return 0;
  }
  Log& log_;
};

// Nothing of an earlier case may be waiting.
void DrainQueue() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

// Escape in a dialog's control reaches the dialog as Cancel, other messages are dispatched, and
// a quit request stops the handling and goes to the loop outside when the step is over.
TEST(NestedMessageLoop, DialogKeysWorkAndAQuitRequestIsPostedAgain) {
  Log log;
  CNotingDialog dialog(log);
  ASSERT_EQ(S_OK, dialog.Create(::GetModuleHandleW(nullptr), nullptr));
  DrainQueue();
  ::PostMessageW(::GetDlgItem(dialog.Handle(), IDC_TEST_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  ::PostMessageW(dialog.Handle(), kNoted, 0, 0);
  ::PostQuitMessage(5);
  {
    CNestedMessageLoop messages;
    EXPECT_FALSE(messages.HandleAll());
    EXPECT_TRUE(messages.QuitRequested());
    ::PostMessageW(dialog.Handle(), kNoted, 0, 0);
    EXPECT_FALSE(messages.HandleOne());  // after the request nothing more is handled here
    MSG quit;
    EXPECT_FALSE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  }
  EXPECT_EQ((Log{L"cancel", L"noted"}), log);
  MSG message{};
  message.wParam = 0xdeadbeef;
  ASSERT_TRUE(::PeekMessageW(&message, nullptr, kNoted, kNoted, PM_REMOVE));  // left for later
  ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(5u, message.wParam);
  dialog.Destroy();
}

HANDLE g_event = nullptr;
int g_ticks = 0;
int g_signalAtTick = 0;
bool g_quitAtFirstTick = false;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  ++g_ticks;
  if (g_ticks == 1 && g_quitAtFirstTick) ::PostQuitMessage(9);
  if (g_ticks == g_signalAtTick) ::SetEvent(g_event);
}

// A wait ends when the object is signalled or its time is over, whichever comes first, and the
// thread's messages are handled meanwhile (here a timer sets the event); after a quit request it
// only waits.
TEST(NestedMessageLoop, WaitEndsWhenSignalledOrAtItsLimitHandlingMessagesMeanwhile) {
  const struct {
    const char* what;
    int signalAtTick;  // 0: never
    bool quitAtFirstTick;
    DWORD limitMs;
    DWORD result;
    DWORD atLeastMs, belowMs;
  } cases[] = {
      {"signalled by a handled message", 3, false, 10000, WAIT_OBJECT_0, 0, 5000},
      {"never signalled", 0, false, 300, WAIT_TIMEOUT, 290, 5000},
      {"a quit request, then the limit", 0, true, 300, WAIT_TIMEOUT, 290, 5000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DrainQueue();
    ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_event = event.Get();
    g_ticks = 0;
    g_signalAtTick = c.signalAtTick;
    g_quitAtFirstTick = c.quitAtFirstTick;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, Tick);
    DWORD result = 0xdeadbeef;
    DWORD elapsed = 0;
    bool quitRequested = false;
    {
      CNestedMessageLoop messages;
      const DWORD start = ::GetTickCount();
      result = messages.Wait(event.Get(), c.limitMs);
      elapsed = ::GetTickCount() - start;
      quitRequested = messages.QuitRequested();
    }
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(c.result, result);
    EXPECT_GE(elapsed, c.atLeastMs);
    EXPECT_LT(elapsed, c.belowMs);
    EXPECT_EQ(c.quitAtFirstTick, quitRequested);
    // Handled while waiting: more than one tick, unless a quit request stopped the handling.
    if (c.quitAtFirstTick) {
      EXPECT_EQ(1, g_ticks);
    } else {
      EXPECT_GE(g_ticks, c.signalAtTick == 0 ? 3 : c.signalAtTick);
    }
    MSG quit;
    EXPECT_EQ(c.quitAtFirstTick, ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0);
  }
}

}  // namespace
