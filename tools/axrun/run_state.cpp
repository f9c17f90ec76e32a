#include "tools/axrun/run_state.h"

void CRunState::ScriptError() {
  if (!Ending()) scriptError_ = true;  // what follows Quit is the script being stopped
}

void CRunState::Quit(int code) {
  if (Ending()) return;
  quit_ = true;
  quitCode_ = code;
}

int CRunState::ExitCode() const {
  if (scriptError_) return kScriptError;
  if (quit_) return quitCode_ == 0 && failed_ ? kFailed : quitCode_;
  return failed_ ? kFailed : kSucceeded;
}
