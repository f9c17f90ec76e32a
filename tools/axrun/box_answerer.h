#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Answers the message boxes shown on this thread, for scripts of controls that ask the user: a
// thread timer, run by whichever message loop is turning (a box's own included), presses the
// chosen button of each box it finds and keeps the box's caption and text. One per thread.
class CBoxAnswerer {
 public:
  CBoxAnswerer() = default;
  ~CBoxAnswerer() { AnswerWith(0); }
  CBoxAnswerer(const CBoxAnswerer&) = delete;
  CBoxAnswerer& operator=(const CBoxAnswerer&) = delete;

  // Presses button (IDOK, IDYES, IDNO, IDCANCEL) in every box from now on; 0 stops answering,
  // and boxes then wait as they would for a user.
  void AnswerWith(int button);
  // "caption: text" of each box answered, in order.
  const std::vector<std::wstring>& Seen() const { return seen_; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  static BOOL CALLBACK OnWindow(HWND window, LPARAM self);
  void Answer(HWND box);

  static inline CBoxAnswerer* active_ = nullptr;  // the one the thread timer serves
  UINT_PTR timer_ = 0;
  int button_ = 0;
  std::vector<HWND> pressed_;  // boxes answered that may still be closing
  std::vector<std::wstring> seen_;
};
