#pragma once

#include <windows.h>

// A window or dialog lists its handlers in one map. Each handler returns the message's result.
//   BEGIN_MSG_MAP(CMyDlg)
//     MESSAGE_HANDLER(WM_TIMER, OnTimer)           LRESULT OnTimer(WPARAM, LPARAM)
//     COMMAND_ID_HANDLER(IDCANCEL, OnCancel)       void OnCancel()
//     CHAIN_MSG_MAP(CDialogImpl)
//   END_MSG_MAP()
#define BEGIN_MSG_MAP(ThisClass)                                                         \
 protected:                                                                              \
  bool ProcessMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override { \
    (void)wParam;                                                                        \
    (void)lParam;

#define MESSAGE_HANDLER(msg, func) \
  if (uMsg == (msg)) {             \
    lResult = func(wParam, lParam); \
    return true;                   \
  }

#define COMMAND_ID_HANDLER(id, func)                   \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) { \
    func();                                            \
    lResult = 0;                                       \
    return true;                                       \
  }

#define CHAIN_MSG_MAP(BaseClass)                                      \
  if (BaseClass::ProcessMessage(uMsg, wParam, lParam, lResult)) return true;

#define END_MSG_MAP() \
  return false;       \
  }
