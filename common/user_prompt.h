#pragma once

#include <windows.h>

#include <string>

// Message boxes go through this seam, so that tests can answer them and see what was asked.
class IUserPrompt {
 public:
  virtual ~IUserPrompt() = default;
  // Same meaning as MessageBox: style flags in, the pressed button's id out.
  virtual int Show(HWND owner, const std::wstring& text, const std::wstring& caption,
                   UINT style) = 0;
};

// The real message box.
IUserPrompt& SystemUserPrompt();
