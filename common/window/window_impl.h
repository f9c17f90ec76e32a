#pragma once

#include <windows.h>

#include "common/window/message_map.h"

// A window class of this module, registered the first time a window of it is created.
struct WindowClass {
  const wchar_t* name;
  UINT style = 0;
  HBRUSH background = nullptr;  // a COLOR_* + 1 value is allowed
};

// A window bound to one object, whose messages reach the object's message map. The window is
// either made here of a class of this module (the object is linked at WM_NCCREATE) or an
// existing window subclassed; either way the link goes at WM_NCDESTROY, after which
// OnFinalMessage runs. A message the map declines gets the default processing (DefWindowProc,
// or the subclassed window's own procedure).
//
// A window still alive when the object is destroyed is unlinked before it is destroyed (or, when
// subclassed, only unlinked), so no message reaches a half-destroyed object: an owner that wants
// its own WM_DESTROY handling must call Destroy() while it is whole.
class CWindowImpl {
 public:
  CWindowImpl() = default;
  virtual ~CWindowImpl();
  CWindowImpl(const CWindowImpl&) = delete;
  CWindowImpl& operator=(const CWindowImpl&) = delete;

  // Creates the window; position is in the parent's client coordinates (a top-level window's:
  // the screen's). Fails with E_UNEXPECTED when the object has a window already.
  [[nodiscard]] HRESULT Create(const WindowClass& window_class, HWND parent, const RECT& position,
                               const wchar_t* title, DWORD style, DWORD ex_style = 0, UINT id = 0);
  // Takes over the messages of a window made elsewhere, until it is destroyed or Unsubclass.
  [[nodiscard]] HRESULT Subclass(HWND window);
  void Unsubclass();
  // Destroys the window, whoever made it; harmless without one.
  void Destroy();

  HWND Handle() const { return window_; }

  // Takes back the classes this module registered (for a DLL about to unload); a class whose
  // windows still live stays.
  static void UnregisterClasses();

 protected:
  // The message map (BEGIN_MSG_MAP); true when the message was taken, with its result.
  virtual bool ProcessMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
    (void)uMsg;
    (void)wParam;
    (void)lParam;
    (void)lResult;
    return false;
  }
  // After WM_NCDESTROY, with the window gone and the link cut; the object may delete itself.
  virtual void OnFinalMessage() {}

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self);
  // The map's answer, or the default processing; ends the link at WM_NCDESTROY.
  LRESULT Dispatch(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT DefaultProcessing(UINT message, WPARAM wparam, LPARAM lparam);
  void Unlink();

  HWND window_ = nullptr;
  bool subclassed_ = false;
};
