#pragma once

#include <windows.h>

#include <functional>
#include <utility>

#include "common/scoped_owner.h"

// The container's window a control goes into: a plain top-level window, or a child of a window
// the caller gives. It tells its owner when its client area changes size.
class CHostWindow {
 public:
  using Resized = std::function<void(const RECT& client)>;

  explicit CHostWindow(Resized resized) : resized_(std::move(resized)) {}
  CHostWindow(const CHostWindow&) = delete;
  CHostWindow& operator=(const CHostWindow&) = delete;
  ~CHostWindow() = default;

  // A hidden window with a client area of width x height; a child of parent when one is given.
  [[nodiscard]] HRESULT Create(HWND parent, const wchar_t* title, int width, int height);
  void Destroy() { window_.Reset(); }
  HWND Handle() const { return window_.Get(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  Resized resized_;
  ScopedWindow window_;
};
