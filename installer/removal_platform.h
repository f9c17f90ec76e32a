#pragma once

#include <windows.h>

#include <string>

// The calls of a removal pass and of the chart control's set-up that start programs or wait;
// tests substitute them.
class IRemovalPlatform {
 public:
  virtual ~IRemovalPlatform() = default;
  // Starts the command line directly and waits until the program ends: the file it works on is
  // deleted next, so it must be done with it.
  virtual void StartAndWait(const std::wstring& commandLine) = 0;
  // Opens the file through the shell, hidden, in the folder, and waits until the process ends.
  virtual void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                                const std::wstring& folder) = 0;
  virtual void Pause(DWORD milliseconds) = 0;
};
