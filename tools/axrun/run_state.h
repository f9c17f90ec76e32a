#pragma once

// How a run of axrun ends, and with which exit code:
//   0  all went well (or Quit(0));
//   1  the script called Fail (Quit(0) after a Fail still gives 1);
//   2  a script error (the first one ends the run);
//   3  the run could not start: bad arguments, unknown control, unreadable script;
//   n  Quit(n).
class CRunState {
 public:
  static constexpr int kSucceeded = 0;
  static constexpr int kFailed = 1;
  static constexpr int kScriptError = 2;
  static constexpr int kCannotRun = 3;

  void Fail() { failed_ = true; }
  void ScriptError();
  void Quit(int code);

  // After a script error or Quit nothing more of the script runs.
  bool Ending() const { return scriptError_ || quit_; }
  int ExitCode() const;

 private:
  bool failed_ = false;
  bool scriptError_ = false;
  bool quit_ = false;
  int quitCode_ = 0;
};
