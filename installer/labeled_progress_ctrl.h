#pragma once

#include <windows.h>

#include <string>

#include "common/window/window_impl.h"

// A progress bar that paints itself over the dialog template's progress control: the filled
// part, the empty part and, when shown, a centred label (or the percentage when the label is
// empty) in colours inverted against each part. The position is kept here, never given to the
// standard control, and is not limited to the range. Every operation is a message to the
// control, so whoever holds the window can drive it the same way.
class CLabeledProgressCtrl : public CWindowImpl {
 public:
  static constexpr UINT kShowTextMessage = WM_USER + 100;  // wParam: show (nonzero) or hide

  CLabeledProgressCtrl() = default;

  // Takes over the painting and state of the dialog's progress control.
  bool Attach(HWND control);

  void SetRange(int lower, int upper);
  int SetPos(int pos);    // returns the old position
  int StepIt();           // returns the old position
  int SetStep(int step);  // returns the old step
  void ShowText(bool show);
  void SetLabel(const std::wstring& label);

  int Pos() const { return pos_; }
  int Lower() const { return lower_; }
  int Upper() const { return upper_; }
  int Step() const { return step_; }
  bool TextShown() const { return showText_; }
  std::wstring Label() const;
  int LastWidth() const { return lastWidth_; }
  int PaintCount() const { return paintCount_; }

  COLORREF BarColour() const { return barColour_; }
  COLORREF BackColour() const { return backColour_; }
  COLORREF TextOnBarColour() const { return textOnBarColour_; }
  COLORREF TextOnBackColour() const { return textOnBackColour_; }

 private:
  bool ProcessMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);

  int ApplyPos(int pos);  // stores the position; repaints at once when the filled width changes
  void Paint(HDC target);
  void PaintParts(HDC dc, const RECT& client);

  int pos_ = 0;
  int step_ = 1;
  int upper_ = 100;
  int lower_ = 0;
  bool showText_ = true;
  int lastWidth_ = -1;
  int paintCount_ = 0;
  COLORREF barColour_ = ::GetSysColor(COLOR_HIGHLIGHT);
  COLORREF backColour_ = ::GetSysColor(COLOR_WINDOW);
  COLORREF textOnBackColour_ = ::GetSysColor(COLOR_HIGHLIGHT);
  COLORREF textOnBarColour_ = ::GetSysColor(COLOR_WINDOW);
};
