#pragma once

#include <windows.h>

#include <optional>

// Handles the thread's messages from inside a long step that runs under a modal loop (a wait, an
// animation), the way that loop would: a message for a window of a dialog goes through the
// dialog manager first, so Escape and Enter work as in the dialog itself; a quit request ends the
// step's handling and is posted again when this object goes, so the loop outside still ends.
class CNestedMessageLoop {
 public:
  CNestedMessageLoop() = default;
  // Posts a quit request it took again.
  ~CNestedMessageLoop();
  CNestedMessageLoop(const CNestedMessageLoop&) = delete;
  CNestedMessageLoop& operator=(const CNestedMessageLoop&) = delete;

  // Handles one waiting message, if there is one. False once a quit request was taken: from then
  // on nothing more is handled here.
  bool HandleOne();
  // Handles every waiting message; false once a quit request was taken.
  bool HandleAll();
  // Waits until the object is signalled, at most timeoutMs, handling messages as they come (only
  // waiting, once a quit request was taken). WAIT_OBJECT_0 when it was signalled, WAIT_TIMEOUT
  // when the time ran out, WAIT_FAILED for a handle that cannot be waited on.
  DWORD Wait(HANDLE object, DWORD timeoutMs);

  bool QuitRequested() const { return quitCode_.has_value(); }

 private:
  std::optional<WPARAM> quitCode_;
};
