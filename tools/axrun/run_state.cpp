#include "run_state.h"

void CRunState::ScriptError() {
  if (!Ending()) script_error_ = true;  // what follows Quit is the script being stopped
}

void CRunState::Quit(int code) {
  if (Ending()) return;
  quit_ = true;
  quit_code_ = code;
}

int CRunState::ExitCode() const {
  if (script_error_) return kScriptError;
  if (quit_) return quit_code_ == 0 && failed_ ? kFailed : quit_code_;
  return failed_ ? kFailed : kSucceeded;
}
