#pragma once

#include <windows.h>

#include <string>

#include "installer/removal_platform.h"

// The real starts and waits. A wait for a started program handles the thread's messages, so the
// dialog keeps painting and hears Cancel, and it gives up after a time limit, so a program that
// hangs cannot hold the installer; the program is left to itself then.
class CSystemRemovalPlatform final : public IRemovalPlatform {
 public:
  static constexpr DWORD kWaitLimitMs = 30000;

  explicit CSystemRemovalPlatform(DWORD waitLimitMs = kWaitLimitMs) : waitLimitMs_(waitLimitMs) {}

  void StartAndWait(const std::wstring& commandLine) override;
  void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& folder) override;
  void Pause(DWORD milliseconds) override { ::Sleep(milliseconds); }

 private:
  void WaitFor(HANDLE process) const;

  DWORD waitLimitMs_;
};

// The one the installer uses when nobody substitutes another.
IRemovalPlatform& SystemRemovalPlatform();
