#pragma once

#include <windows.h>

#include <string>

// The program: starts Windows Sockets and OLE, then runs the main dialog until it closes.
class CInstallerApp {
 public:
  // Returns the process exit code; the outcome of a run is shown, not returned.
  int Run(HINSTANCE instance, const std::wstring& commandLine);
};
