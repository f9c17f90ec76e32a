#pragma once

#include <windows.h>

#include <string>

// The platform calls of the hand-off that tests steer; the system's by default.
class IHandOffPlatform {
 public:
  virtual ~IHandOffPlatform() = default;
  // Whether the installer's publisher is checked here: on the NT family from version 4 on.
  virtual bool ChecksPublisher() = 0;
  // Starts the program at application with commandLine: nothing inherited, normal priority,
  // the caller's environment and folder; its handles are let go at once. False, with the last
  // error set, when it cannot.
  [[nodiscard]] virtual bool StartProcess(const std::wstring& application,
                                          const std::wstring& commandLine) = 0;
};

// GetVersionEx and CreateProcess.
IHandOffPlatform& SystemHandOffPlatform();
