#pragma once

#include <string>

#include "installer/removal_platform.h"

// The outside chart control a catalog row needs beside its own component (its "companions"
// field): the control file and its registration program, which live in the system directory.
// Installing the row puts both there and registers the control; removing it takes them out again.
class CChartControl {
 public:
  // systemFolder without a trailing backslash.
  CChartControl(IRemovalPlatform& platform, std::wstring systemFolder);

  // Copies the two files over whatever copies are there and lets the program register the
  // control, waiting until it is done. Nothing is checked: a missing file just fails its copy.
  void Register(const std::wstring& controlSource, const std::wstring& programSource);
  // With both files there, the program unregisters the control first; then whatever there is of
  // the two goes.
  void Remove();

  const std::wstring& ControlName() const { return controlName_; }
  const std::wstring& ProgramName() const { return programName_; }

 private:
  IRemovalPlatform& platform_;
  std::wstring systemFolder_;
  std::wstring controlName_;
  std::wstring programName_;
};
