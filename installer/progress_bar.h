#pragma once

#include <windows.h>

#include <string>

// A progress bar of the dialog, attached to the template's control. It keeps its own position,
// range and step (the position is not limited to the range), and a label that, when not empty,
// is shown instead of the percentage.
class CProgressBar {
 public:
  void Attach(HWND control);
  HWND Handle() const { return control_; }

  void SetRange(int lower, int upper);
  int SetPos(int pos);  // returns the old position
  int StepIt();         // returns the old position
  int SetStep(int step);
  void ShowText(bool show);
  void SetLabel(const std::wstring& label);

  int Pos() const { return pos_; }
  int Lower() const { return lower_; }
  int Upper() const { return upper_; }
  int Step() const { return step_; }
  bool TextShown() const { return showText_; }
  std::wstring Label() const;

 private:
  HWND control_ = nullptr;
  int pos_ = 0;
  int step_ = 1;
  int lower_ = 0;
  int upper_ = 100;
  bool showText_ = true;
};
