#pragma once

#include <windows.h>

#include "message_map.h"

// A modal dialog bound to its template. The static procedure finds the object through the
// pointer stored at WM_INITDIALOG, and forgets it when the window is destroyed.
class CDialogImpl {
 public:
  explicit CDialogImpl(UINT templateId) : templateId_(templateId) {}
  virtual ~CDialogImpl() = default;
  CDialogImpl(const CDialogImpl&) = delete;
  CDialogImpl& operator=(const CDialogImpl&) = delete;

  INT_PTR DoModal(HINSTANCE instance, HWND parent = nullptr);
  HWND Handle() const { return hwnd_; }

 protected:
  // Return true when the message was handled; lResult is then the dialog's answer.
  virtual bool ProcessMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
  virtual void OnInitDialog() {}
  virtual void OnDestroy() {}

  void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  HINSTANCE Instance() const { return instance_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HINSTANCE instance_ = nullptr;
  HWND hwnd_ = nullptr;
};
