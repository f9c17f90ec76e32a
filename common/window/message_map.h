#pragma once

#include <windows.h>

// A window or dialog lists its handlers in one map, tried in order; the first that takes the
// message ends the search. A message no handler takes gets the default processing.
//   BEGIN_MSG_MAP(CMyDlg)
//     MESSAGE_HANDLER(WM_TIMER, OnTimer)       LRESULT OnTimer(WPARAM, LPARAM)
//     MESSAGE_HANDLER(WM_PAINT, OnPaint)       LRESULT OnPaint(WPARAM, LPARAM, bool& handled)
//     COMMAND_ID_HANDLER(IDCANCEL, OnCancel)   void OnCancel()
//     COMMAND_HANDLER(IDC_LIST, LBN_DBLCLK, OnOpen)            void OnOpen()
//     COMMAND_CODE_HANDLER(BN_CLICKED, OnClicked)              void OnClicked(WORD id, HWND
//     control) NOTIFY_HANDLER(IDC_TREE, TVN_SELCHANGEDW, OnSelChanged)  LRESULT
//     OnSelChanged(NMHDR*) NOTIFY_CODE_HANDLER(NM_CLICK, OnClick)                   LRESULT
//     OnClick(NMHDR*) CHAIN_MSG_MAP(CDialogImpl)
//   END_MSG_MAP()
// A handler given `bool& handled` may set it false to decline: the search goes on, and the
// default processing runs when nothing else takes the message.

namespace message_map {

template <typename Self, typename Owner, typename R>
LRESULT Call(Self* self, R (Owner::*handler)(WPARAM, LPARAM), WPARAM wparam, LPARAM lparam, bool&) {
  return static_cast<LRESULT>((static_cast<Owner*>(self)->*handler)(wparam, lparam));
}

template <typename Self, typename Owner, typename R>
LRESULT Call(Self* self, R (Owner::*handler)(WPARAM, LPARAM, bool&), WPARAM wparam, LPARAM lparam,
             bool& handled) {
  return static_cast<LRESULT>((static_cast<Owner*>(self)->*handler)(wparam, lparam, handled));
}

}  // namespace message_map

#define BEGIN_MSG_MAP(ThisClass)                                                            \
 protected:                                                                                 \
  bool ProcessMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override { \
    using MapClass [[maybe_unused]] = ThisClass;                                            \
    (void)wParam;                                                                           \
    (void)lParam;

#define MESSAGE_HANDLER(msg, func)                                                 \
  if (uMsg == (msg)) {                                                             \
    bool handled = true;                                                           \
    lResult = ::message_map::Call(this, &MapClass::func, wParam, lParam, handled); \
    if (handled) return true;                                                      \
  }

// A handler for messages first..last that is told which: LRESULT func(UINT, WPARAM, LPARAM, bool&)
#define MESSAGE_RANGE_HANDLER(first, last, func)   \
  if (uMsg >= (first) && uMsg <= (last)) {         \
    bool handled = true;                           \
    lResult = func(uMsg, wParam, lParam, handled); \
    if (handled) return true;                      \
  }

#define COMMAND_ID_HANDLER(id, func)                  \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) { \
    func();                                           \
    lResult = 0;                                      \
    return true;                                      \
  }

#define COMMAND_HANDLER(id, code, func)                                           \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) { \
    func();                                                                       \
    lResult = 0;                                                                  \
    return true;                                                                  \
  }

#define COMMAND_CODE_HANDLER(code, func)                  \
  if (uMsg == WM_COMMAND && HIWORD(wParam) == (code)) {   \
    func(LOWORD(wParam), reinterpret_cast<HWND>(lParam)); \
    lResult = 0;                                          \
    return true;                                          \
  }

#define NOTIFY_HANDLER(id, notify_code, func)                                  \
  if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->idFrom == (id) && \
      reinterpret_cast<NMHDR*>(lParam)->code == (notify_code)) {               \
    lResult = func(reinterpret_cast<NMHDR*>(lParam));                          \
    return true;                                                               \
  }

#define NOTIFY_CODE_HANDLER(notify_code, func)                                        \
  if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == (notify_code)) { \
    lResult = func(reinterpret_cast<NMHDR*>(lParam));                                 \
    return true;                                                                      \
  }

#define CHAIN_MSG_MAP(BaseClass) \
  if (BaseClass::ProcessMessage(uMsg, wParam, lParam, lResult)) return true;

#define END_MSG_MAP() \
  return false;       \
  }
