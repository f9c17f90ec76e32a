#pragma once

#include <windows.h>

#include <string>

#include "common/scoped_owner.h"

// A run's report as a text file for the people who deploy the installer: one line per catalog
// row, "time<TAB>CAB name<TAB>outcome", UTF-8. Written beside the program, or in the temporary
// folder when the program's folder is not writable. Failing to write never affects the run.
class CRunLog {
 public:
  // Starts a fresh log for a run of the program at programPath.
  void Begin(const std::wstring& programPath);
  void Append(const std::wstring& cabName, const std::wstring& outcome);
  // Where the log is being written; empty when it could not be created anywhere.
  const std::wstring& Path() const { return path_; }

  static std::wstring FileNameFor(const std::wstring& programPath);  // "<program>.log"

 private:
  ScopedHandle file_;
  std::wstring path_;
};
