#include "progress_bar.h"

#include <commctrl.h>

#include <vector>

void CProgressBar::Attach(HWND control) {
  control_ = control;
  ::SendMessageW(control_, PBM_SETRANGE32, lower_, upper_);
}

void CProgressBar::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  ::SendMessageW(control_, PBM_SETRANGE32, lower_, upper_);
  ::SendMessageW(control_, PBM_SETPOS, pos_, 0);
}

int CProgressBar::SetPos(int pos) {
  const int old = pos_;
  pos_ = pos;
  ::SendMessageW(control_, PBM_SETPOS, pos_, 0);
  return old;
}

int CProgressBar::StepIt() { return SetPos(pos_ + step_); }

int CProgressBar::SetStep(int step) {
  const int old = step_;
  step_ = step;
  return old;
}

void CProgressBar::ShowText(bool show) { showText_ = show; }

void CProgressBar::SetLabel(const std::wstring& label) {
  if (Label() != label) ::SetWindowTextW(control_, label.c_str());
}

std::wstring CProgressBar::Label() const {
  const int length = ::GetWindowTextLengthW(control_);
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(control_, text.data(), length + 1);
  return text.data();
}
