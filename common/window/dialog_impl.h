#pragma once

#include <windows.h>

#include "common/window/message_map.h"

// A dialog bound to its template, modal or modeless. The object is linked at WM_INITDIALOG and
// unlinked at WM_NCDESTROY, after which OnFinalMessage runs. The result given to EndDialog is
// kept here, so any value can be a result: whether the dialog could run at all is told apart.
class CDialogImpl {
 public:
  explicit CDialogImpl(UINT template_id) : templateId_(template_id) {}
  // A modeless dialog still open is unlinked, then destroyed.
  virtual ~CDialogImpl();
  CDialogImpl(const CDialogImpl&) = delete;
  CDialogImpl& operator=(const CDialogImpl&) = delete;

  // Runs the dialog in its own message loop until EndDialog; Result() then says how it ended.
  // Fails when the template is missing or the window cannot be made (Result() is then 0).
  [[nodiscard]] HRESULT DoModal(HINSTANCE instance, HWND parent = nullptr);
  // Creates the dialog modeless; it goes with EndDialog, Destroy or its parent. The caller's
  // message loop should offer it keyboard messages (TranslateDialogMessage).
  [[nodiscard]] HRESULT Create(HINSTANCE instance, HWND parent);
  void Destroy();
  // Dialog keyboard handling (tab, arrows, default buttons) for a modeless dialog; true when
  // the message was used and must not be dispatched.
  bool TranslateDialogMessage(MSG& message);

  HWND Handle() const { return window_; }
  bool IsModal() const { return modal_; }
  INT_PTR Result() const { return result_; }

 protected:
  // The message map (BEGIN_MSG_MAP); true when the message was taken, with its result.
  virtual bool ProcessMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
  virtual void OnInitDialog() {}
  virtual void OnDestroy() {}
  // After WM_NCDESTROY, with the window gone and the link cut; the object may delete itself.
  virtual void OnFinalMessage() {}

  // Keeps the result and ends the dialog: a modal one leaves its loop, a modeless one is
  // destroyed.
  void EndDialog(INT_PTR result);
  HWND Item(int id) const { return ::GetDlgItem(window_, id); }
  HINSTANCE Instance() const { return instance_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Dispatch(UINT message, WPARAM wparam, LPARAM lparam);

  UINT templateId_;
  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  bool modal_ = false;
  bool initialized_ = false;  // WM_INITDIALOG came: the dialog ran
  INT_PTR result_ = 0;
};
