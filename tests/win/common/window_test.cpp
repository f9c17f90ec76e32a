// The window and dialog bases: the link to the object, message maps that decline, commands and
// notifications, subclassing, modal results and a modeless dialog in a host's loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/window/dialog_impl.h"
#include "common/window/window_impl.h"
#include "tests/win/common/window_test_ids.h"

namespace {

using Log = std::vector<std::wstring>;

const WindowClass kTestClass = {L"KoviraWindowTest"};
constexpr UINT kDeclined = WM_APP + 1;

class CRecordingWindow : public CWindowImpl {
 public:
  explicit CRecordingWindow(Log& log) : log_(log) {}

 protected:
  BEGIN_MSG_MAP(CRecordingWindow)
  MESSAGE_HANDLER(WM_CREATE, OnCreate)
  MESSAGE_HANDLER(WM_SETTEXT, OnSetText)
  MESSAGE_HANDLER(kDeclined, OnDeclined)
  MESSAGE_HANDLER(kDeclined, OnDeclinedAgain)
  COMMAND_HANDLER(7, BN_CLICKED, OnSevenClicked)
  COMMAND_ID_HANDLER(7, OnSeven)
  COMMAND_CODE_HANDLER(EN_CHANGE, OnChanged)
  NOTIFY_HANDLER(9, NM_CLICK, OnNineClicked)
  NOTIFY_CODE_HANDLER(NM_RETURN, OnReturn)
  MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()

  void OnFinalMessage() override { log_.push_back(Handle() ? L"final, still linked" : L"final"); }

 private:
  LRESULT OnCreate(WPARAM, LPARAM) {
    log_.push_back(L"create");
    return 0;
  }
  // Declines, so the default processing stores the text.
  LRESULT OnSetText(WPARAM, LPARAM text, bool& handled) {
    log_.push_back(std::wstring(L"settext:") + reinterpret_cast<const wchar_t*>(text));
    handled = false;
    return 0;
  }
  LRESULT OnDeclined(WPARAM, LPARAM, bool& handled) {
    log_.push_back(L"declined");
    handled = false;
    return 1;
  }
  LRESULT OnDeclinedAgain(WPARAM, LPARAM) {
    log_.push_back(L"taken");
    return 42;
  }
  void OnSevenClicked() { log_.push_back(L"7 clicked"); }
  void OnSeven() { log_.push_back(L"7"); }
  void OnChanged(WORD id, HWND) { log_.push_back(L"changed " + std::to_wstring(id)); }
  LRESULT OnNineClicked(NMHDR*) {
    log_.push_back(L"9 clicked");
    return 5;
  }
  LRESULT OnReturn(NMHDR* header) {
    log_.push_back(L"return " + std::to_wstring(header->idFrom));
    return 6;
  }
  LRESULT OnDestroy(WPARAM, LPARAM) {
    log_.push_back(L"destroy");
    return 0;
  }

  Log& log_;
};

LRESULT Notify(HWND window, UINT_PTR id, UINT code) {
  NMHDR header = {nullptr, id, code};
  return ::SendMessageW(window, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
}

TEST(WindowBase, MessagesReachTheMapAndDeclinedOnesGetTheDefault) {
  Log log;
  CRecordingWindow window(log);
  ASSERT_EQ(window.Create(kTestClass, nullptr, {0, 0, 50, 50}, L"first", WS_OVERLAPPEDWINDOW),
            S_OK);
  const HWND handle = window.Handle();
  EXPECT_EQ(window.Create(kTestClass, nullptr, {0, 0, 50, 50}, L"", 0), E_UNEXPECTED);

  struct Case {
    UINT message;
    WPARAM wparam;
    LRESULT result;
    const wchar_t* heard;
  };
  const Case cases[] = {
      {kDeclined, 0, 42, L"declined|taken"},
      {WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0, L"7 clicked"},
      {WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED), 0, L"7"},
      {WM_COMMAND, MAKEWPARAM(8, EN_CHANGE), 0, L"changed 8"},
      {WM_COMMAND, MAKEWPARAM(8, EN_UPDATE), 0, L""},
  };
  for (const Case& c : cases) {
    log.clear();
    EXPECT_EQ(::SendMessageW(handle, c.message, c.wparam, 0), c.result) << c.heard;
    std::wstring heard;
    for (const auto& entry : log) heard += (heard.empty() ? L"" : L"|") + entry;
    EXPECT_EQ(heard, c.heard);
  }
  log.clear();
  EXPECT_EQ(Notify(handle, 9, NM_CLICK), 5);
  EXPECT_EQ(Notify(handle, 3, NM_RETURN), 6);
  EXPECT_EQ(Notify(handle, 3, NM_CLICK), 0);
  EXPECT_EQ(log, (Log{L"9 clicked", L"return 3"}));

  // Declined: the window still keeps its text.
  ::SetWindowTextW(handle, L"second");
  wchar_t text[16] = {};
  ::GetWindowTextW(handle, text, 16);
  EXPECT_STREQ(text, L"second");

  log.clear();
  window.Destroy();
  EXPECT_EQ(log, (Log{L"destroy", L"final"}));
  EXPECT_EQ(window.Handle(), nullptr);
  EXPECT_FALSE(::IsWindow(handle));
  // The object outlives its window and can make another.
  ASSERT_EQ(window.Create(kTestClass, nullptr, {0, 0, 50, 50}, L"again", 0), S_OK);
  window.Destroy();
}

TEST(WindowBase, AnObjectGoingFirstTakesItsWindowWithoutHearingFromIt) {
  Log log;
  HWND handle = nullptr;
  {
    CRecordingWindow window(log);
    ASSERT_EQ(window.Create(kTestClass, nullptr, {0, 0, 50, 50}, L"", 0), S_OK);
    handle = window.Handle();
    EXPECT_EQ(log, (Log{L"create"}));
    log.clear();
  }
  EXPECT_FALSE(::IsWindow(handle));
  EXPECT_TRUE(log.empty()) << "no message reached a half-destroyed object";
}

TEST(WindowBase, SubclassedWindowKeepsItsOwnBehaviourForWhatTheMapDeclines) {
  Log log;
  const HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                      ThisModule(), nullptr);
  ASSERT_NE(edit, nullptr);
  CRecordingWindow window(log);
  EXPECT_EQ(window.Subclass(nullptr), E_INVALIDARG);
  ASSERT_EQ(window.Subclass(edit), S_OK);
  EXPECT_EQ(window.Subclass(edit), E_UNEXPECTED);
  ::SetWindowTextW(edit, L"typed");
  EXPECT_EQ(::SendMessageW(edit, kDeclined, 0, 0), 42);
  EXPECT_EQ(log, (Log{L"settext:typed", L"declined", L"taken"}));
  wchar_t text[16] = {};
  ::GetWindowTextW(edit, text, 16);
  EXPECT_STREQ(text, L"typed") << "the edit control stored the declined text";

  window.Unsubclass();
  EXPECT_EQ(window.Handle(), nullptr);
  log.clear();
  ::SetWindowTextW(edit, L"again");
  EXPECT_TRUE(log.empty());

  // Destroyed while subclassed: the link goes with the window.
  ASSERT_EQ(window.Subclass(edit), S_OK);
  ::DestroyWindow(edit);
  EXPECT_EQ(log, (Log{L"destroy", L"final"}));
  EXPECT_EQ(window.Handle(), nullptr);
}

class CTestDialog : public CDialogImpl {
 public:
  explicit CTestDialog(Log& log, UINT id = IDD_TEST_DIALOG) : CDialogImpl(id), log_(log) {}

  INT_PTR end_with = 0;

 protected:
  BEGIN_MSG_MAP(CTestDialog)
  COMMAND_ID_HANDLER(IDC_TEST_BUTTON, OnButton)
  COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
  MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
  CHAIN_MSG_MAP(CDialogImpl)
  END_MSG_MAP()

  void OnInitDialog() override { log_.push_back(L"init"); }
  void OnDestroy() override { log_.push_back(L"destroy"); }
  void OnFinalMessage() override { log_.push_back(L"final"); }

 private:
  void OnButton() {
    log_.push_back(L"button");
    EndDialog(end_with);
  }
  void OnCancel() {
    log_.push_back(L"cancel");
    EndDialog(IDCANCEL);
  }
  LRESULT OnSysCommand(WPARAM, LPARAM, bool& handled) {
    handled = false;  // the dialog manager's own handling
    return 0;
  }

  Log& log_;
};

void CALLBACK PressButtonOfActiveDialog(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  ::PostMessageW(::GetActiveWindow(), WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED), 0);
}

TEST(DialogBase, ModalResultIsKeptInTheObjectWhateverItsValue) {
  for (const INT_PTR result : {INT_PTR{IDOK}, INT_PTR{-1}, INT_PTR{0}, INT_PTR{2001}}) {
    Log log;
    CTestDialog dialog(log);
    dialog.end_with = result;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, &PressButtonOfActiveDialog);
    EXPECT_EQ(dialog.DoModal(ThisModule()), S_OK);
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(dialog.Result(), result);
    EXPECT_EQ(log, (Log{L"init", L"button", L"destroy", L"final"}));
    EXPECT_EQ(dialog.Handle(), nullptr);
  }
  Log log;
  CTestDialog missing(log, 999);
  EXPECT_TRUE(FAILED(missing.DoModal(ThisModule())));
  EXPECT_TRUE(log.empty());
}

TEST(DialogBase, ModelessDialogRunsInTheHostsLoopAndGoesWhenEnded) {
  Log log;
  CTestDialog dialog(log);
  dialog.end_with = 7;
  ASSERT_EQ(dialog.Create(ThisModule(), nullptr), S_OK);
  const HWND window = dialog.Handle();
  EXPECT_FALSE(dialog.IsModal());
  EXPECT_EQ(log, (Log{L"init"}));

  // Escape typed in the edit box becomes the dialog's Cancel through the host's loop.
  const HWND edit = ::GetDlgItem(window, IDC_TEST_EDIT);
  ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED), 0);
  MSG message;
  while (::IsWindow(window) && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (dialog.TranslateDialogMessage(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  // Cancel ended it first: a modeless dialog is destroyed by EndDialog.
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(dialog.Result(), IDCANCEL);
  EXPECT_EQ(log, (Log{L"init", L"cancel", L"destroy", L"final"}));

  // Made again, and destroyed with the object while open.
  log.clear();
  HWND again = nullptr;
  {
    CTestDialog other(log);
    ASSERT_EQ(other.Create(ThisModule(), nullptr), S_OK);
    again = other.Handle();
  }
  EXPECT_FALSE(::IsWindow(again));
  EXPECT_EQ(log, (Log{L"init"}));
}

}  // namespace
